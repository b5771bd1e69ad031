// The browser's thumbnail grid of one directory: one cell per entry, each a picture
// area with the name below it. The pictures are made in the background by
// "ThumbDirlistScannerTask": from the disk cache when it can, else from the EXIF
// thumbnail or the decoded picture, else from the default icons.
//
// Threads: everything here runs on the GUI thread except the scanner's unit of work,
// which writes typeName, typeGroup, the picture and the tooltip of the entry at the head
// of the pending list under Semaphore(). The GUI calls TimerTick() every 250 ms while
// TimerInstalled().
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "browser/entry_scanner.h"
#include "browser/thumbnail_picture.h"
#include "browser/view.h"
#include "formats/file_type.h"
#include "image/chunky.h"
#include "settings/settings.h"
#include "thumbs/cache.h"

namespace vl::browser {

inline constexpr const char* kStatusGenerating = "Generating...";
inline constexpr const char* kProgressFormat = "Scanned %d of %d files...";

struct ThumbViewSettings {
  int boxWidth = 120;
  int boxHeight = 80;
  int border = 0;
  uint32_t compression = 1;
  bool saveMemory = true;
  bool diskCacheEnabled = true;
  std::string cachePath = "PROGDIR:cache/";
  std::vector<std::string> disabledVolumes;
  bool showIconFiles = false;
  bool delayedScanning = false;
  bool operator==(const ThumbViewSettings&) const = default;
};
// The view settings from the settings record; sizes outside 1..1024 (border 0..256)
// fall back to the view's defaults.
ThumbViewSettings ThumbSettingsFrom(const settings::Settings& s);
// The cache context of a settings record: its cache path and disabled volumes.
thumbs::CacheContext CacheContextFor(const settings::Settings& settings);

// Where a cell's picture came from.
enum class PictureSource { None, Cache, Exif, Decoded, Icon };
const char* PictureSourceName(PictureSource s);  // "none", "cache", "exif", "decoded", "icon"

struct ThumbEntry {
  ThumbEntry(int width, int height, bool saveMemory) : picture(width, height, saveMemory) {}
  std::string name;
  uint8_t isDirectory = 0;
  std::optional<std::string> typeName;
  uint32_t typeGroup = 0;
  ThumbnailPicture picture;
  std::string label;
  std::string bubbleHelp;  // the name, then the tooltip once the thumbnail is made
  std::optional<std::string> tooltip;
  int32_t index = 0;
  bool selected = false;
  PictureSource source = PictureSource::None;
};

// The five-line bubble help of a made thumbnail (ESC b / ESC n around each label).
std::string ThumbnailTooltip(const std::string& name, int width, int height, const std::string& formatName,
                             uint64_t fileSize);

// The context menu title for several selected cells: " %d entries: \n" and the first two
// names, with ",..." when there are more.
std::string SeveralEntriesTitle(const std::vector<std::string>& names);

class ThumbView : public BrowserView {
 public:
  using LoadedCallback = std::function<void(void* data, ThumbView& view)>;
  using StatusCallback = std::function<void(const std::string& text)>;
  using CellCallback = std::function<void(int index)>;

  explicit ThumbView(const ThumbViewSettings& settings = ThumbViewSettings());
  ~ThumbView() override;
  ThumbView(const ThumbView&) = delete;
  ThumbView& operator=(const ThumbView&) = delete;

  void SetInitialDirectory(const std::string& path);
  void SetDirectory(const std::string& path) override;
  const std::string& Directory() const override { return directory_; }
  void SetLoadedCallback(LoadedCallback cb, void* data) { loaded_ = std::move(cb), loadedData_ = data; }
  void SetStatusCallback(StatusCallback cb) { statusCallback_ = std::move(cb); }
  void SetCellChangedCallback(CellCallback cb) { cellChanged_ = std::move(cb); }
  const ThumbViewSettings& settings() const { return settings_; }
  // Takes new settings: the scanner stops and the cells go (their pictures have the old box
  // size) until the directory is read again. The cache path stays the one the view was made
  // with until the next start.
  void SetSettings(const ThumbViewSettings& settings);
  const std::string& StatusText() const { return status_; }
  bool Busy() const { return busy_; }
  bool HasScanner() const { return scanner_.HasTask(); }
  bool HasDefaultDrawer() const { return defaultDrawer_ != nullptr; }
  bool HasDefaultTool() const { return defaultTool_ != nullptr; }

  // Showing the view starts a scan held back by delayed scanning and installs the timer;
  // hiding it removes the timer.
  void SetShown(bool shown);
  bool Shown() const { return shown_; }

  void LoadDirectory() override;
  // The cell at position (display order), or null. What the scanner writes is read
  // under Semaphore() while it runs.
  ThumbEntry* GetEntry(int position);
  int EntryCount() const override { return static_cast<int>(entries_.size()); }
  bool GetEntryInfo(int position, EntryInfo& info) override;
  int FindEntry(const std::string& name) override;
  void RenameEntry(const std::string& oldName, const std::string* newName) override;
  void RescanEntry(int position) override;
  void RemoveEntry(int position) override;
  std::vector<std::string> GetSelectedNames() override;
  int ActiveEntry() const override;
  void SetActiveEntry(int position) override;
  void SelectEntry(int position, bool selected) override;
  void Resort();
  // The scanner takes the cells first..last (display order, clamped to the entries) before
  // the rest of its pending work, in that order: the cells on screen and the next screenful,
  // after a load or a scroll. Cells already made are not made again.
  void PrioritizeRange(int first, int last);

  // Draws the cell's picture area into an RGB24 buffer of the area's size.
  bool DrawCell(int position, uint8_t* area);

  bool TimerInstalled() const override { return timerInstalled_; }
  void TimerTick() override;
  bool Scanning() const override { return scanner_.Scanning(); }
  ContextMenuState ContextMenuFor(int position) override;

  std::recursive_mutex& Semaphore() { return scanner_.Lock(); }

 private:
  class PictureUnit;
  void SetStatus(const std::string& text);
  void StartScanner();
  void Renumber();
  // Makes the picture of one entry; false when it got none.
  struct Made {
    image::ChunkyPtr picture;
    std::optional<std::string> typeName;
    uint32_t typeGroup = 0;
    std::optional<std::string> tooltip;
    PictureSource source = PictureSource::None;
  };
  void MakePicture(const std::string& path, const std::string& name, bool isDirectory, Made& made);
  // What an entry's picture is made from: its cached thumbnail (hit), else its type and the
  // picture read from the file (the EXIF thumbnail or the decoded picture).
  struct Found {
    bool examined = false;  // the file's date stamp and size were read
    thumbs::DateStamp date;
    uint64_t fileSize = 0;
    thumbs::CacheEntryPtr hit;
    formats::DataTypeName type;
    image::TexturePtr picture;
    bool fromExif = false;
  };
  // Reads only files and the cache, and the settings and cache given: runs on any thread.
  static void FindPicture(const ThumbViewSettings& settings, const thumbs::CacheContext& cache, const std::string& path,
                          bool isDirectory, Found& found);
  class FindAhead;
  // Pictures found ahead on other threads, at most this many at a time.
  static constexpr int kMaxFindAhead = 2;
  image::ChunkyPtr FitIcon(const image::ChunkyImage* icon);

  ThumbViewSettings settings_;
  thumbs::CacheContext cache_;
  image::ChunkyPtr defaultDrawer_;
  image::ChunkyPtr defaultTool_;
  std::string directory_;
  std::vector<std::unique_ptr<ThumbEntry>> entries_;
  ThumbEntry* active_ = nullptr;
  LoadedCallback loaded_;
  void* loadedData_ = nullptr;
  StatusCallback statusCallback_;
  CellCallback cellChanged_;
  std::string status_;
  bool busy_ = false;
  bool complete_ = false;
  bool pendingStart_ = false;
  bool shown_ = false;
  bool timerInstalled_ = false;
  std::unique_ptr<FindAhead> findAhead_;  // used by the scanner's task only
  EntryScanner scanner_;                  // last: its task ends before the entries, icons, cache and finds ahead go
};

}  // namespace vl::browser
