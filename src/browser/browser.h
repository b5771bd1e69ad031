// The browser: the shown directory, its view (file list or thumbnail grid), the file
// actions of the "Action" menu, the remembered locations and history, and the watch on
// the directory that re-reads it when something else changes it.
//
// Questions and errors go through platform::CurrentRequester(). The drawer requester,
// the rename window and the lossless JPEG transform are given as hooks, so the actions
// run without a display.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browser/view.h"

namespace vl::browser {

// Identifiers of the "Action" menu items.
enum ActionMenuId : int {
  kMenuParent = 1,
  kMenuCopyTo = 2,
  kMenuCopySelect = 3,
  kMenuCopySlot1 = 4,  // to 8
  kMenuMoveTo = 9,
  kMenuMoveSelect = 10,
  kMenuMoveSlot1 = 11,  // to 15
  kMenuDelete = 16,
  kMenuRename = 17,
  kMenuJpeg = 18,
  kMenuRotate90 = 19,
  kMenuRotate180 = 20,
  kMenuRotateMinus90 = 21,
  kMenuFlipHorizontal = 22,
  kMenuFlipVertical = 23,
  kMenuOpen = 25,
  kMenuClipboard = 26,
  kMenuCopyFilename = 27,
  kMenuCopyFullPath = 28,
};

// TransformJpeg's operations.
enum JpegOp : int { kJpegRotate90 = 1, kJpegRotate180 = 2, kJpegRotateMinus90 = 3, kJpegFlipH = 4, kJpegFlipV = 5 };

inline constexpr int kRememberSlots = 5;
inline constexpr const char* kEmptySlotLabel = "(Empty slot)";
inline constexpr const char* kEmptyHistoryLabel = "(Empty)";
inline constexpr const char* kTempSuffix = ".VLTemp";

struct MenuItem {
  int id = 0;
  std::string label;
  bool enabled = true;
};

// What changed in the browser, for the widget that shows it.
enum class BrowserChange {
  kDirectory,  // another directory is shown (or the same one was read again)
  kEntries,    // entries were added, removed or renamed; the active entry may have moved
  kActive,     // only the active entry changed
};

class DirBrowser {
 public:
  // Asks for a destination drawer ("Select drawer..."); empty when cancelled.
  using DrawerRequester = std::function<std::optional<std::string>()>;
  // The "Rename file" window: the new name, or empty when cancelled.
  using RenameWindow = std::function<std::optional<std::string>(const std::string& originalName)>;
  // Transforms the file in place (the op codes above) by way of a temporary file of the
  // same name followed by ".VLTemp"; false with the reason in error on failure. The
  // default is the lossless transformation (formats/jpeg_transform.h), trimming edges.
  using JpegTransformer = std::function<bool(const std::string& file, int op, std::string& error)>;
  using PathCallback = std::function<void(const std::string& path)>;
  using ChangeCallback = std::function<void(BrowserChange change)>;
  // Called with the new descriptor of the directory watch after it was opened, and with -1
  // just before it is closed.
  using WatchCallback = std::function<void(int fd)>;

  explicit DirBrowser(BrowserView* view);
  ~DirBrowser();
  DirBrowser(const DirBrowser&) = delete;
  DirBrowser& operator=(const DirBrowser&) = delete;

  BrowserView* view() const { return view_; }
  // Shows the current directory in view; the entry of the same name as the old view's
  // active one becomes active there.
  void SetView(BrowserView* view);

  // Makes path the shown directory (the view reads it, also when it already shows it), restarts the directory watch
  // and remembers it in the history.
  void SetCurrentDirectory(const std::string& path);
  const std::string& CurrentDirectory() const { return current_; }
  // The current directory joined with name; empty when longer than 1023 bytes.
  std::string FullPath(const std::string& name) const;
  // Makes a typed path the shown directory. False, with the reason in error, when it is
  // empty, too long, holds a NUL, or names no directory that can be read.
  bool GoTo(const std::string& typed, std::string& error);
  // Makes the entry at position active (-1: none).
  void SetActiveEntry(int position);
  // The first entry, in view order, whose name starts with prefix (ASCII letters compared
  // without regard to case), or -1; an empty prefix matches nothing.
  int FindPrefix(const std::string& prefix) const;

  // The actions.
  void Delete(bool ask);
  void CopyMove(int slot, bool move);
  void RenameFile();
  bool RenameFileTo(const std::string& oldName, const std::string& newName);
  void TransformJpeg(int op);
  // Copies files (full paths) into the current directory, with the questions of
  // CopyMove; the view is read again afterwards.
  void CopyInto(const std::vector<std::string>& sources);
  void CopyName();
  void CopyPath();
  // The text CopyName (fullPath false) or CopyPath put on the clipboard; empty when there
  // is no active entry.
  std::string ClipboardText(bool fullPath) const;
  void Remember(int kind, const std::string& path);
  void Parent();
  // Opens the active entry: a directory is entered, a file reported to the opener.
  void Open();
  // Runs the action of a menu item identifier; false for an unknown one.
  bool RunMenuAction(int id);
  // Makes the named entry active; prints "not found" when the view has none of that name.
  bool MakeActive(const std::string& name);

  const std::array<std::string, kRememberSlots>& Locations() const { return slots_; }
  const std::array<std::string, kRememberSlots>& History() const { return history_; }
  // The items of "Copy to" (move false) or "Move to" (move true), and of "History"
  // (ids 1 to 5 there).
  std::vector<MenuItem> LocationMenu(bool move) const;
  std::vector<MenuItem> HistoryMenu() const;
  // Makes the history entry of a "History" menu identifier (1 to 5) the current directory.
  bool ChooseHistory(int id);

  // The directory watch. NotifyFd() is the descriptor to wait on (-1 when stopped);
  // PollNotification() reads what arrived and re-reads the directory after a change,
  // returning true then.
  int NotifyFd() const { return notifyFd_; }
  bool NotificationActive() const { return notifyFd_ >= 0; }
  bool PollNotification();

  void SetDrawerRequester(DrawerRequester r) { drawerRequester_ = std::move(r); }
  void SetRenameWindow(RenameWindow w) { renameWindow_ = std::move(w); }
  void SetJpegTransformer(JpegTransformer t) { transformer_ = std::move(t); }
  const JpegTransformer& Transformer() const { return transformer_; }
  // Called after a file was changed in place (the display redraws it when it is shown).
  void SetFileChangedCallback(PathCallback cb) { fileChanged_ = std::move(cb); }
  // Called with the full path of a file chosen with "Open".
  void SetOpenCallback(PathCallback cb) { open_ = std::move(cb); }
  // Called after the location slots or the history changed (the menus are rebuilt).
  void SetMenusChangedCallback(std::function<void()> cb) { menusChanged_ = std::move(cb); }
  void SetChangeCallback(ChangeCallback cb) { changed_ = std::move(cb); }
  // The view's rows arrived from a read in the background (the active entry with them).
  void EntriesArrived() { Notify(BrowserChange::kEntries); }
  void SetWatchCallback(WatchCallback cb) { watchChanged_ = std::move(cb); }

 private:
  std::vector<std::string> TargetNames() const;
  struct CopyItem {
    std::string source;  // full path
    std::string name;    // the name in the destination
  };
  // Copies each item into destDir, asking before replacing; afterCopy runs for each one
  // copied.
  void CopyItems(const std::vector<CopyItem>& items, const std::string& destDir,
                 const std::function<void(const CopyItem&)>& afterCopy);
  void Notify(BrowserChange change) {
    if (changed_) changed_(change);
  }
  bool DeleteOne(const std::string& name, bool ask, bool& yesToAll, bool& cancelled);
  void StopNotify();
  void StartNotify();
  bool DrainEvents();
  // Re-reads the directory, keeping the active entry where it still exists.
  void Reload();
  // Stops the watch for the scope of a change the browser makes itself.
  class Quiet {
   public:
    explicit Quiet(DirBrowser& b) : b_(b) { b_.StopNotify(); }
    ~Quiet() { b_.StartNotify(); }

   private:
    DirBrowser& b_;
  };

  BrowserView* view_;
  std::string current_;
  std::array<std::string, kRememberSlots> slots_;
  std::array<std::string, kRememberSlots> history_;
  int notifyFd_ = -1;
  int quietDepth_ = 0;
  bool missedChange_ = false;
  DrawerRequester drawerRequester_;
  RenameWindow renameWindow_;
  JpegTransformer transformer_;
  PathCallback fileChanged_;
  PathCallback open_;
  std::function<void()> menusChanged_;
  ChangeCallback changed_;
  WatchCallback watchChanged_;
};

}  // namespace vl::browser
