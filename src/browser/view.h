// What the browser asks of either of its views (the file list and the thumbnail grid).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vl::browser {

inline constexpr const char* kStatusReading = "Reading...";
inline constexpr const char* kStatusScanning = "Scanning files...";
inline constexpr const char* kStatusReady = "Ready...";

// The commands of the two scanner tasks (the file list's uses 0 to 3).
enum DirScannerCommand : int16_t {
  kScanStart = 0,     // start working through the pending list
  kScanStop = 1,      // stop and clear both lists
  kScanQueue = 2,     // append the entry given as argument
  kScanWithdraw = 3,  // take the entry given as argument off both lists
  kScanQueueHead = 4  // move the entry given as argument to the head of the pending list
};

struct EntryInfo {
  std::string name;
  bool isDirectory = false;
  std::string typeName;    // empty while not known
  bool isPicture = false;  // the type's group is "pict"
};

// How the "Action" menu looks for the entry it was opened on.
struct ContextMenuState {
  bool valid = false;             // false outside the entries: no menu
  std::string title;              // " %s ", or " %d entries: \n..." for several cells
  bool jpegEnabled = false;       // "JPEG": a file whose type name is exactly "JPEG"
  bool fileItemsEnabled = false;  // "Copy to", "Move to": not for a directory
};

class BrowserView {
 public:
  virtual ~BrowserView() = default;
  virtual void SetDirectory(const std::string& path) = 0;
  virtual const std::string& Directory() const = 0;
  virtual void LoadDirectory() = 0;
  virtual int EntryCount() const = 0;
  // A copy of the entry's name, kind and type (taken under the view's lock).
  virtual bool GetEntryInfo(int position, EntryInfo& info) = 0;
  // The first entry whose name equals name exactly, or -1.
  virtual int FindEntry(const std::string& name) = 0;
  // Renames the entry (when newName is not null) and sorts again.
  virtual void RenameEntry(const std::string& oldName, const std::string* newName) = 0;
  // Queues the entry for its type (and picture) again, after the file changed.
  virtual void RescanEntry(int position) = 0;
  // Takes the entry out of the view (after its file was deleted or moved).
  virtual void RemoveEntry(int position) = 0;
  // The selected entries' names, in view order.
  virtual std::vector<std::string> GetSelectedNames() = 0;
  virtual int ActiveEntry() const = 0;  // -1: none
  virtual void SetActiveEntry(int position) = 0;
  virtual void SelectEntry(int position, bool selected) = 0;
  virtual ContextMenuState ContextMenuFor(int position) = 0;
  virtual bool TimerInstalled() const = 0;
  virtual void TimerTick() = 0;
  virtual bool Scanning() const = 0;
  // Makes the named entry active: at once when the view has it, else when the rows being
  // read arrive (views that read in the background). Nothing is opened either way.
  virtual void ActivateWhenLoaded(const std::string& name) {
    int position = FindEntry(name);
    if (position >= 0) SetActiveEntry(position);
  }
};

}  // namespace vl::browser
