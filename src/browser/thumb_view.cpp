#include "browser/thumb_view.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "browser/dir_list.h"
#include "browser/nocase.h"
#include "formats/decoders.h"
#include "formats/exif.h"
#include "formats/file_load.h"
#include "formats/file_type.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "image/colour_management.h"
#include "image/resample.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/thread_pool.h"

namespace vl::browser {
namespace {

EntryScanner::Options ScannerOptions() {
  EntryScanner::Options o;
  o.taskName = "ThumbDirlistScannerTask";
  o.failureText = "[ThumbDirlist]: Failed to initialize subtask";
  o.startOnlyWithWork = true;
  return o;
}

int InRange(uint32_t v, int lo, int hi, int fallback) {
  return (v >= static_cast<uint32_t>(lo) && v <= static_cast<uint32_t>(hi)) ? static_cast<int>(v) : fallback;
}

// Reads a default icon: the user's own under ENVARC:sys/, else the shipped one.
image::ChunkyPtr ReadDefaultIcon(const char* infoName, const char* shippedName) {
  std::string user = platform::ResolvePath(std::string("ENVARC:sys/") + infoName);
  image::TexturePtr t(formats::ReadPictureForScan(user.c_str()));
  if (!t) {
    std::string shipped = platform::ResolveForRead(std::string("PROGDIR:icons/") + shippedName);
    t.reset(formats::ReadPictureForScan(shipped.c_str()));
  }
  if (!t || !t->chunky) {
    std::printf("Failed to load %s\n", infoName);
    return nullptr;
  }
  image::ChunkyPtr c(t->chunky);
  t->chunky = nullptr;
  return c;
}

bool ThumbOrder(const std::unique_ptr<ThumbEntry>& a, const std::unique_ptr<ThumbEntry>& b) {
  if (a->isDirectory != b->isDirectory) return a->isDirectory > b->isDirectory;
  return CompareNoCase(a->name, b->name) < 0;
}

}  // namespace

ThumbViewSettings ThumbSettingsFrom(const settings::Settings& s) {
  ThumbViewSettings v;
  v.boxWidth = InRange(s.thumbWidth, 1, 1024, v.boxWidth);
  v.boxHeight = InRange(s.thumbHeight, 1, 1024, v.boxHeight);
  v.border = InRange(s.thumbBorder, 0, 256, v.border);
  v.compression = s.cacheCompression;
  v.saveMemory = s.saveMemory;
  v.diskCacheEnabled = s.diskCacheEnabled;
  v.cachePath = s.cachePath;
  v.disabledVolumes = s.disabledVolumes;
  v.showIconFiles = s.showIconFiles;
  v.delayedScanning = s.delayedScanning;
  return v;
}

thumbs::CacheContext CacheContextFor(const settings::Settings& settings) {
  thumbs::CacheContext cache;
  cache.root = settings.cachePath;
  thumbs::SetDisabledVolumes(cache, settings.disabledVolumes);
  return cache;
}

const char* PictureSourceName(PictureSource s) {
  switch (s) {
    case PictureSource::Cache: return "cache";
    case PictureSource::Exif: return "exif";
    case PictureSource::Decoded: return "decoded";
    case PictureSource::Icon: return "icon";
    default: return "none";
  }
}

std::string ThumbnailTooltip(const std::string& name, int width, int height, const std::string& formatName,
                             uint64_t fileSize) {
  const std::string b = "\x1b"
                        "b",
                    n = "\x1b"
                        "n";
  return b + "Filename: " + n + name + "\n" + b + "Width: " + n + std::to_string(width) + "\n" + b + "Height: " + n +
         std::to_string(height) + "\n" + b + "Type: " + n + formatName + "\n" + b + "Size: " + n +
         std::to_string(fileSize) + " bytes";
}

std::string SeveralEntriesTitle(const std::vector<std::string>& names) {
  std::string t = " " + std::to_string(names.size()) + " entries: \n";
  if (!names.empty()) t += names[0];
  if (names.size() > 1) t += "," + names[1];
  if (names.size() > 2) t += ",...";
  return t;
}

// Makes the picture of the cell at the head of the scanner's list.
class ThumbView::PictureUnit : public EntryScanner::Unit {
 public:
  PictureUnit(ThumbView& view, ThumbEntry* entry)
      : view_(view), entry_(entry), name_(entry->name), isDirectory_(entry->isDirectory != 0) {}
  void Examine(const std::string& path) override { view_.MakePicture(path, name_, isDirectory_, made_); }
  bool Store() override {
    if (made_.typeName) {
      entry_->typeName = made_.typeName;
      entry_->typeGroup = made_.typeGroup;
    }
    if (!made_.picture || !entry_->picture.SetPicture(made_.picture.get())) return false;
    entry_->source = made_.source;
    if (made_.tooltip) {
      entry_->tooltip = made_.tooltip;
      entry_->bubbleHelp = *made_.tooltip;
    }
    return true;
  }

 private:
  ThumbView& view_;
  ThumbEntry* entry_;
  std::string name_;
  bool isDirectory_;
  Made made_;
};

// The pictures of the entries pending after the one being made, found on other threads
// meanwhile (each as FindPicture() finds it on the scanner's thread, with the readers'
// messages held back and printed when the picture is taken).
class ThumbView::FindAhead {
 public:
  ~FindAhead() { Keep({}); }

  // Makes the finds in flight those of paths: the others are dropped (after they end) and
  // the missing ones started.
  void Keep(const std::vector<std::string>& paths, const ThumbViewSettings* settings = nullptr,
            const thumbs::CacheContext* cache = nullptr) {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      const bool wanted = std::find(paths.begin(), paths.end(), (*it)->path) != paths.end() && settings &&
                          SameFinding((*it)->settings, *settings);
      if (wanted) {
        ++it;
        continue;
      }
      (*it)->thread.join();
      it = jobs_.erase(it);
    }
    if (!settings || !cache) return;
    for (const std::string& path : paths) {
      auto same = [&](const std::unique_ptr<Job>& j) { return j->path == path; };
      if (std::find_if(jobs_.begin(), jobs_.end(), same) != jobs_.end()) continue;
      try {
        jobs_.push_back(std::make_unique<Job>());
        Job* j = jobs_.back().get();
        j->path = path;
        j->settings = *settings;
        j->thread = std::thread([j, cache = *cache] {
          try {
            platform::MessageCapture capture;
            FindPicture(j->settings, cache, j->path, false, j->found);
            j->messages = capture.Take();
            j->done = true;
          } catch (const std::exception&) {
            j->found = Found();  // the scanner's thread tries again itself
          }
        });
      } catch (const std::exception&) {
        // No memory or no thread to be had: the picture is found on the scanner's thread.
        if (!jobs_.empty() && !jobs_.back()->thread.joinable()) jobs_.pop_back();
        return;
      }
    }
  }

  // True, with found filled in, when path was found ahead with these settings.
  bool Take(const std::string& path, const ThumbViewSettings& settings, Found& found) {
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
      if ((*it)->path != path) continue;
      (*it)->thread.join();
      std::unique_ptr<Job> job = std::move(*it);
      jobs_.erase(it);
      if (!job->done || !SameFinding(job->settings, settings)) return false;
      found = std::move(job->found);
      platform::PrintMessage(job->messages);
      return true;
    }
    return false;
  }

 private:
  struct Job {
    std::string path;
    ThumbViewSettings settings;
    Found found;
    std::string messages;
    bool done = false;  // found without an exception
    std::thread thread;
  };
  // What FindPicture() depends on.
  static bool SameFinding(const ThumbViewSettings& a, const ThumbViewSettings& b) {
    return a.boxWidth == b.boxWidth && a.boxHeight == b.boxHeight && a.diskCacheEnabled == b.diskCacheEnabled &&
           a.cachePath == b.cachePath && a.disabledVolumes == b.disabledVolumes;
  }
  std::vector<std::unique_ptr<Job>> jobs_;
};

ThumbView::ThumbView(const ThumbViewSettings& settings)
    : settings_(settings),
      findAhead_(std::make_unique<FindAhead>()),
      scanner_(ScannerOptions(), [this](void* entry, std::string& name) -> std::unique_ptr<EntryScanner::Unit> {
        auto* e = static_cast<ThumbEntry*>(entry);
        name = e->name;
        return std::make_unique<PictureUnit>(*this, e);
      }) {
  cache_.root = settings_.cachePath;
  thumbs::SetDisabledVolumes(cache_, settings_.disabledVolumes);
  defaultDrawer_ = ReadDefaultIcon("def_drawer.info", "def_drawer.png");
  defaultTool_ = ReadDefaultIcon("def_tool.info", "def_tool.png");
  scanner_.Launch();
}

ThumbView::~ThumbView() = default;

void ThumbView::SetSettings(const ThumbViewSettings& settings) {
  scanner_.Stop();
  pendingStart_ = false;
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  entries_.clear();
  active_ = nullptr;
  const std::string cachePath = settings_.cachePath;
  settings_ = settings;
  settings_.cachePath = cachePath;
  thumbs::SetDisabledVolumes(cache_, settings_.disabledVolumes);
}

void ThumbView::StartScanner() {
  scanner_.Start();
}

void ThumbView::SetStatus(const std::string& text) {
  status_ = text;
  if (statusCallback_) statusCallback_(status_);
}

void ThumbView::SetInitialDirectory(const std::string& path) {
  directory_ = path.substr(0, kMaxPathLength);
}

void ThumbView::SetDirectory(const std::string& path) {
  std::string p = path.substr(0, kMaxPathLength);
  if (p == directory_) return;
  directory_ = p;
  LoadDirectory();
}

void ThumbView::SetShown(bool shown) {
  shown_ = shown;
  if (!shown) {
    timerInstalled_ = false;
    return;
  }
  if (settings_.delayedScanning && pendingStart_) {
    pendingStart_ = false;
    StartScanner();
    if (EntryCount() > 0) SetStatus(kStatusGenerating);
  }
  timerInstalled_ = true;
}

void ThumbView::Renumber() {
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i]->index = static_cast<int32_t>(i);
}

void ThumbView::LoadDirectory() {
  std::string dirPath = platform::ResolvePath(directory_);
  DIR* dir = ::opendir(dirPath.c_str());
  scanner_.Stop();
  pendingStart_ = false;
  {
    std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
    entries_.clear();
    active_ = nullptr;
    scanner_.SetDirectory(dirPath);
  }
  complete_ = false;
  const int areaW = settings_.boxWidth + settings_.border, areaH = settings_.boxHeight + settings_.border;
  if (dir) {
    SetStatus(kStatusReading);
    busy_ = true;
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      if (!settings_.showIconFiles && name.find(".info") != std::string::npos) continue;
      std::string full = dirPath;
      if (!platform::AddPart(full, name, kMaxPathLength)) continue;
      DirEntry kind;
      if (!ExamineEntry(full, name, kind)) continue;
      auto e = std::make_unique<ThumbEntry>(areaW, areaH, settings_.saveMemory);
      e->name = name;
      e->isDirectory = kind.isDirectory;
      entries_.push_back(std::move(e));
    }
    complete_ = true;
    ::closedir(dir);
  }
  std::stable_sort(entries_.begin(), entries_.end(), ThumbOrder);
  for (size_t i = 0; i < entries_.size(); ++i) {
    ThumbEntry* e = entries_[i].get();
    e->label = e->name;
    e->bubbleHelp = e->name;
    e->index = static_cast<int32_t>(i);
    scanner_.Queue(e);
  }
  if (complete_ && loaded_) loaded_(loadedData_, *this);
  if (settings_.delayedScanning && !shown_) {
    pendingStart_ = true;
    return;
  }
  StartScanner();
  if (!entries_.empty() && scanner_.HasTask()) {
    SetStatus(kStatusGenerating);
  } else {
    SetStatus(kStatusReady);
    busy_ = false;
  }
}

ThumbEntry* ThumbView::GetEntry(int position) {
  if (position < 0 || position >= EntryCount()) return nullptr;
  return entries_[static_cast<size_t>(position)].get();
}

bool ThumbView::GetEntryInfo(int position, EntryInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  ThumbEntry* e = GetEntry(position);
  if (!e) return false;
  info.name = e->name;
  info.isDirectory = e->isDirectory != 0;
  info.typeName = e->typeName ? *e->typeName : std::string();
  info.isPicture = e->typeGroup == formats::kGroupPicture;
  return true;
}

int ThumbView::FindEntry(const std::string& name) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->name == name) return static_cast<int>(i);
  return -1;
}

void ThumbView::RenameEntry(const std::string& oldName, const std::string* newName) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  int pos = FindEntry(oldName);
  if (pos < 0 || !newName) return;
  ThumbEntry* e = entries_[static_cast<size_t>(pos)].get();
  if (e->bubbleHelp == e->name) e->bubbleHelp = *newName;
  e->name = *newName;
  e->label = *newName;
  Resort();
}

void ThumbView::Resort() {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  std::stable_sort(entries_.begin(), entries_.end(), ThumbOrder);
  Renumber();
}

void ThumbView::RescanEntry(int position) {
  // A scanner still at work takes the entry first; one that has gone idle is started
  // again once the finished cells it left are collected (a start clears the done list).
  if (scanner_.Requeue(GetEntry(position), true)) {
    TimerTick();
    StartScanner();
  }
}

void ThumbView::PrioritizeRange(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, EntryCount() - 1);
  if (first > last) return;
  std::vector<void*> wanted;
  wanted.reserve(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) wanted.push_back(entries_[static_cast<size_t>(i)].get());
  scanner_.Promote(wanted);
}

void ThumbView::RemoveEntry(int position) {
  ThumbEntry* e = GetEntry(position);
  if (!e) return;
  scanner_.Withdraw(e);
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  if (active_ == e) active_ = nullptr;
  entries_.erase(entries_.begin() + position);
  Renumber();
}

std::vector<std::string> ThumbView::GetSelectedNames() {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e->selected) out.push_back(e->name);
  return out;
}

int ThumbView::ActiveEntry() const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (active_ && entries_[i].get() == active_) return static_cast<int>(i);
  return -1;
}

void ThumbView::SetActiveEntry(int position) {
  active_ = GetEntry(position);
}

void ThumbView::SelectEntry(int position, bool selected) {
  if (ThumbEntry* e = GetEntry(position)) e->selected = selected;
}

bool ThumbView::DrawCell(int position, uint8_t* area) {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  ThumbEntry* e = GetEntry(position);
  if (!e) return false;
  e->picture.Draw(area, e->selected);
  return true;
}

void ThumbView::TimerTick() {
  std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
  std::vector<void*> done = scanner_.TakeDone();
  int remembered = -1;
  auto progress = [&] {
    if (remembered >= 0 && !entries_.empty()) {
      char text[96];
      std::snprintf(text, sizeof text, kProgressFormat, remembered + 1, entries_.back()->index + 1);
      SetStatus(text);
    }
  };
  for (void* node : done) {
    if (node && shown_) {
      auto* e = static_cast<ThumbEntry*>(node);
      if (cellChanged_) cellChanged_(e->index);
      remembered = e->index;
    } else {
      // The count reached before the end is shown before "Ready...".
      progress();
      if (!node) scanner_.MarkEnded();
      SetStatus(kStatusReady);
      busy_ = false;
      remembered = -1;
    }
  }
  progress();
}

ContextMenuState ThumbView::ContextMenuFor(int position) {
  ContextMenuState m;
  EntryInfo info;
  if (!GetEntryInfo(position, info)) return m;
  SetActiveEntry(position);
  m.valid = true;
  std::vector<std::string> selected = GetSelectedNames();
  m.title = selected.size() > 1 ? SeveralEntriesTitle(selected) : " " + info.name + " ";
  m.jpegEnabled = !info.isDirectory && info.typeName == "JPEG";
  m.fileItemsEnabled = !info.isDirectory;
  return m;
}

image::ChunkyPtr ThumbView::FitIcon(const image::ChunkyImage* icon) {
  if (!icon) return nullptr;
  image::ChunkyPtr copy(image::chk_Duplicate(icon));
  if (!copy) return nullptr;
  if (copy->width > settings_.boxWidth || copy->height > settings_.boxHeight) {
    image::Size s = image::FitSize(copy->width, copy->height, settings_.boxWidth, settings_.boxHeight);
    if (s.width < 1) s.width = 1;
    if (s.height < 1) s.height = 1;
    image::QuickScale(copy.get(), s.width, s.height);
    if (copy->width != s.width || copy->height != s.height) return nullptr;
  }
  return copy;
}

namespace {
// A thumbnail of a picture with a profile (an EXIF thumbnail carries its file's) is converted
// to sRGB, which is what the disk cache keeps.
bool ConvertToSrgb(image::Texture& thumbnail) {
  return thumbnail.iccProfile &&
         image::ConvertPicture(thumbnail.chunky, *thumbnail.iccProfile, image::ColourTarget::kSrgb);
}
}  // namespace

void ThumbView::FindPicture(const ThumbViewSettings& settings, const thumbs::CacheContext& cache,
                            const std::string& path, bool isDirectory, Found& found) {
  found.examined = thumbs::FileDateStamp(path, found.date, &found.fileSize);
  const uint32_t size32 = found.fileSize > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(found.fileSize);
  const bool useCache = settings.diskCacheEnabled && !isDirectory;
  if (useCache && found.examined) {
    found.hit.reset(thumbs::LoadImage(cache, path, size32, found.date, static_cast<uint32_t>(settings.boxWidth),
                                      static_cast<uint32_t>(settings.boxHeight)));
    if (found.hit && found.hit->image) {
      // The type is still wanted (the "JPEG" menu item goes by it); finding it reads only
      // the first bytes.
      found.type = formats::GetDataTypeName(path.c_str());
      return;
    }
    found.hit.reset();
  }
  found.type = formats::GetDataTypeName(path.c_str());
  if (found.type.group != formats::kGroupPicture || isDirectory) return;
  if (found.type.name == "JPEG") {
    found.picture.reset(formats::ReadExifThumbnail(path.c_str()));
    found.fromExif = found.picture && found.picture->chunky;
  }
  if (!found.fromExif) {
    found.picture.reset(found.type.name == "PNG" ? formats::ReadPicture(path.c_str())
                                                 : formats::ReadPictureForScan(path.c_str()));
  }
}

void ThumbView::MakePicture(const std::string& path, const std::string& name, bool isDirectory, Made& made) {
  Found found;
  if (isDirectory || !findAhead_->Take(path, settings_, found))
    FindPicture(settings_, cache_, path, isDirectory, found);
  // The pictures that follow are found on other threads while this one is reduced and cached.
  std::vector<std::string> next;
  const int ahead = std::min(platform::ThreadCount(), kMaxFindAhead);
  if (ahead > 1) {
    std::lock_guard<std::recursive_mutex> lock(scanner_.Lock());
    for (void* e : scanner_.PendingAfterHead(static_cast<size_t>(ahead))) {
      const auto* entry = static_cast<const ThumbEntry*>(e);
      std::string p = scanner_.Directory();
      if (!entry->isDirectory && platform::AddPart(p, entry->name, kMaxPathLength)) next.push_back(std::move(p));
    }
  }
  findAhead_->Keep(next, &settings_, &cache_);

  const int bw = settings_.boxWidth, bh = settings_.boxHeight;
  const uint32_t size32 = found.fileSize > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(found.fileSize);
  if (found.hit) {
    made.picture.reset(found.hit->image);
    found.hit->image = nullptr;
    made.tooltip = ThumbnailTooltip(name, found.hit->sourceWidth, found.hit->sourceHeight, found.hit->formatName,
                                    found.hit->sourceSize);
    made.source = PictureSource::Cache;
    if (found.type.group != 0) made.typeName = found.type.name, made.typeGroup = found.type.group;
    return;
  }
  const formats::DataTypeName& type = found.type;
  if (type.group == 0) return;
  made.typeName = type.name;
  made.typeGroup = type.group;
  if (type.group == formats::kGroupPicture && !isDirectory) {
    image::TexturePtr& tex = found.picture;
    const bool fromExif = found.fromExif;
    if (tex && tex->chunky && tex->chunky->width > 0 && tex->chunky->height > 0) {
      const int w = tex->chunky->width, h = tex->chunky->height;
      image::Size t = image::FitSize(w, h, bw, bh);
      if (t.width < 1) t.width = 1;
      if (t.height < 1) t.height = 1;
      image::QuickScale(tex->chunky, t.width, t.height);
      if (tex->chunky->width != t.width || tex->chunky->height != t.height) return;  // no memory to scale
      const bool enlarged = t.width + t.height > w + h;
      const bool srgb = ConvertToSrgb(*tex);
      // The format the reader recognised, kept in the texture (the process-wide name may
      // meanwhile belong to another thread's load); an EXIF thumbnail is the file's type.
      std::string format = fromExif || tex->formatName.empty() ? type.name : tex->formatName;
      if (!fromExif && settings_.diskCacheEnabled && !enlarged && found.examined) {
        thumbs::StoreImage(cache_, path, tex->chunky, settings_.compression, size32, found.date,
                           static_cast<uint32_t>(bw), static_cast<uint32_t>(bh), static_cast<uint32_t>(w),
                           static_cast<uint32_t>(h), format);
      }
      if (srgb) {
        if (image::ColourTransformPtr monitor = image::SrgbToMonitor(tex->chunky->format))
          monitor->Apply(tex->chunky->pixels, static_cast<size_t>(tex->chunky->width) * tex->chunky->height);
      }
      uint64_t shownSize = found.fileSize ? found.fileSize : formats::FileSize(path.c_str());
      // The size shown is the file's picture, not that of its embedded thumbnail.
      int shownW = w, shownH = h;
      if (fromExif) {
        std::unique_ptr<formats::ExifInfo> info = formats::ReadExifInfo(path.c_str());
        if (info && info->width > 0 && info->height > 0) shownW = info->width, shownH = info->height;
      }
      made.tooltip = ThumbnailTooltip(name, shownW, shownH, format, shownSize);
      made.picture.reset(tex->chunky);
      tex->chunky = nullptr;
      made.source = fromExif ? PictureSource::Exif : PictureSource::Decoded;
      return;
    }
    // A picture no reader decodes is shown as a file.
  }
  if (isDirectory) {
    image::TexturePtr own(formats::ReadPictureForScan((path + ".info").c_str()));
    made.picture = FitIcon(own && own->chunky ? own->chunky : defaultDrawer_.get());
  } else {
    made.picture = FitIcon(defaultTool_.get());
  }
  if (made.picture) made.source = PictureSource::Icon;
}

}  // namespace vl::browser
