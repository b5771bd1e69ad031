#include "app/controller.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "formats/clipboard.h"
#include "formats/exif.h"
#include "formats/file_type.h"
#include "formats/loader.h"
#include "image/geometry.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/stopwatch.h"

namespace vl::app {

ExifWindowModel::ExifWindowModel() {
  reader_ = [](const std::string& path, int& orientation, InfoList& info) {
    orientation = 0;
    info.clear();
    std::unique_ptr<formats::ExifInfo> exif = formats::ReadExifInfo(path.c_str());
    if (!exif) return false;
    orientation = exif->orientation;
    for (const formats::ExifLine& line : formats::ExifWindowLines(*exif, std::string(platform::FilePart(path)), false))
      info.emplace_back(line.label, line.text);
    return true;
  };
}

void ExifWindowModel::ReadFile(const std::string& path) {
  path_ = path;
  orientation_ = 0;
  info_.clear();
  hasInfo_ = false;
  orientationApplied_ = false;
  int o = 0;
  InfoList list;
  if (reader_ && reader_(path, o, list)) {
    orientation_ = (o >= 0 && o <= 8) ? o : 0;
    info_ = std::move(list);
    hasInfo_ = !info_.empty();
  }
  Changed();
}

void ExifWindowModel::Clear() {
  path_.clear();
  orientation_ = 0;
  info_.clear();
  hasInfo_ = false;
  orientationApplied_ = false;
  Changed();
}

void ExifWindowModel::Open() {
  open = true;
  Changed();
}

void ExifWindowModel::Close() {
  open = false;
  Changed();
}

void ExifWindowModel::SetOrientationApplied(bool applied) {
  orientationApplied_ = applied;
  Changed();
}

void ExifWindowModel::Changed() {
  if (listener_) listener_();
}

InfoList ExifWindowModel::WindowLines() const {
  InfoList lines;
  if (path_.empty()) {
    for (const std::string& label : formats::ExifWindowInitialLabels()) lines.emplace_back(label, std::string());
    return lines;
  }
  if (hasInfo_) {
    lines = info_;
    for (auto& [label, text] : lines)
      if (label == "Orientation:" && orientationApplied_ && orientation_ >= 1 && orientation_ <= 8)
        text += " (corrected)";
  } else {
    // A JPEG without EXIF data: an empty record gives its name and "unknown" everywhere else.
    for (const formats::ExifLine& line :
         formats::ExifWindowLines(formats::ExifInfo{}, std::string(platform::FilePart(path_)), false))
      lines.emplace_back(line.label, line.text);
  }
  for (auto& line : lines)
    while (!line.second.empty() && (line.second.back() == '\n' || line.second.back() == '\r')) line.second.pop_back();
  return lines;
}

Controller::Controller() {
  reader_ = [](const char* path) -> image::Texture* {
    if (!path) return nullptr;
    return formats::ReadPicture(platform::ResolvePath(path).c_str());
  };
  pictureTest_ = [](const std::string& path) { return formats::IsPictureFile(path.c_str()); };
  clipboardWriter_ = [](const image::ChunkyImage* image) { return formats::ClipboardWriteImage(image) == 1; };
}

Controller::~Controller() {
  full_.reset();  // stops the worker before the rest goes
  self_.reset();
}

void Controller::EnableQuickViews(platform::MainThreadQueue* queue) {
  if (!queue || full_) return;
  fullReader_ = reader_;
  SetReader([](const char* path) -> image::Texture* {
    if (!path) return nullptr;
    return formats::ReadPicturePreview(platform::ResolvePath(path).c_str());
  });
  std::weak_ptr<Controller*> self = self_;
  full_ = std::make_unique<FullPictureReader>(
      [reader = fullReader_](const std::string& path) { return reader(path.c_str()); },
      [queue, self] {
        queue->Push([self] {
          if (std::shared_ptr<Controller*> c = self.lock()) (*c)->ShowFullPicture(false);
        });
      });
}

void Controller::StartFullPicture() {
  CancelFullPicture();
  if (full_ && current_ && current_->preview) fullTicket_ = full_->Start(currentPath_);
}

void Controller::CancelFullPicture() {
  if (full_ && fullTicket_) full_->Cancel();
  fullTicket_ = 0;
}

void Controller::FinishFullPicture() {
  if (fullTicket_) ShowFullPicture(true);
}

void Controller::ShowFullPicture(bool wait) {
  image::TexturePtr picture;
  std::string messages;
  if (!full_ || !fullTicket_ || !full_->Take(fullTicket_, picture, messages, wait)) return;
  fullTicket_ = 0;
  platform::PrintMessage(messages);
  // Only a stand-in still shown as it was read gives way.
  if (!picture || !picture->chunky || !current_ || !current_->preview || !pristine_ || editBackup_) return;
  ShowImage(nullptr);
  if (observer_) observer_->PictureOpened();
  picture->name = current_->name;
  current_ = std::move(picture);
  currentStamp_ = StampOf(platform::ResolvePath(currentPath_));
  UpdateStatus();
  ShowImage(current_.get());
  if (observer_) observer_->OverlayChanged(infoOverlay_ && hasInfo_ ? &info_ : nullptr);
}

void Controller::SetReader(PictureReader reader) {
  reader_ = std::move(reader);
  if (readAhead_) readAhead_->SetReader([reader = reader_](const std::string& p) { return reader(p.c_str()); });
}

void Controller::EnableReadAhead(bool on) {
  if (!on) {
    readAhead_.reset();
    return;
  }
  if (readAhead_ || !reader_) return;
  readAhead_ = std::make_unique<StepReadAhead>([reader = reader_](const std::string& p) { return reader(p.c_str()); });
}

std::string Controller::NeighbourPicture(int from, int direction) const {
  // Files the list has not typed yet are tested, but only a few: the search runs on the
  // main thread.
  constexpr int kMaxProbes = 8;
  const BrowserList& list = *browser_;
  const int count = list.EntryCount();
  int probes = 0;
  for (int i = from + direction; i >= 0 && i < count; i += direction) {
    if (list.IsDirectory(i)) continue;
    if (list.IsPicture(i)) return list.FullPath(i);
    if (++probes > kMaxProbes) break;
    std::string full = list.FullPath(i);
    if (!full.empty() && pictureTest_ && pictureTest_(full)) return full;
  }
  return {};
}

void Controller::ReadAheadNeighbours() {
  if (!readAhead_) return;
  const int selected = browser_ ? browser_->SelectedIndex() : -1;
  if (selected < 0 || currentPath_.empty() ||
      platform::ResolvePath(browser_->FullPath(selected)) != platform::ResolvePath(currentPath_)) {
    readAhead_->Clear();
    return;
  }
  std::string next = NeighbourPicture(selected, +1);
  std::string previous = NeighbourPicture(selected, -1);
  // The way the user is going is read first.
  if (lastDirection_ < 0)
    readAhead_->Want({previous, next});
  else
    readAhead_->Want({next, previous});
}

void Controller::SetTitle(std::string title) {
  title_ = std::move(title);
  if (observer_) observer_->TitleChanged(title_);
}

void Controller::ShowImage(const image::Texture* image) {
  if (observer_) observer_->ImageChanged(image);
}

void Controller::RefreshDisplay() {
  ShowImage(current_.get());
}

namespace {

constexpr const char* kClipboardUnit = "CLIPS:0";

// A picture from the clipboard is a new one: nothing of a file it may have come from goes with it.
void ForgetFileMetadata(image::Texture* picture) {
  if (!picture) return;
  picture->iccProfile.reset();
  picture->exifBlock.reset();
  picture->exifOrientationApplied = false;
}

}  // namespace

void Controller::ApplyOrientation(int orientation) {
  image::ChunkyImage* c = current_->chunky;
  bool applied = false;
  switch (orientation) {
    case 2:
      image::FlipHorizontal(c);
      applied = true;
      break;
    case 4:
      image::FlipVertical(c);
      applied = true;
      break;
    case 6:
    case 8: {
      image::ChunkyImage* turned = orientation == 6 ? image::RotateClockwise(c) : image::RotateCounterClockwise(c);
      if (turned) {
        image::chk_Free(c);
        current_->chunky = turned;
        applied = true;
      }
      break;
    }
    default: break;
  }
  if (!applied) return;
  current_->exifOrientationApplied = true;
  exif_.SetOrientationApplied(true);
}

int Controller::OpenPicture(const char* path) {
  if (!path) return 1;
  const std::string previousPath = loadFailed_ ? std::string() : currentPath_;
  currentPath_ = path;
  SetTitle("Loading " + currentPath_ + "...");
  DropPicture(previousPath);

  platform::Stopwatch& sw = platform::LoadStopwatch();
  sw.Start();
  current_ = ReadPicture(path, currentStamp_);
  int rc = ShowOpened(sw);
  StartFullPicture();
  return rc;
}

int Controller::LoadPicture(const char* path) {
  if (!path) return 1;
  SetTitle(std::string("Loading ") + path + "...");
  platform::Stopwatch& sw = platform::LoadStopwatch();
  sw.Start();
  FileStamp stamp;
  image::TexturePtr picture = ReadPicture(path, stamp);
  // A script works on the full picture.
  if (picture && picture->preview && fullReader_) {
    image::TexturePtr full(fullReader_(path));
    if (full && full->chunky) picture = std::move(full);
  }
  if (!picture) {
    UpdateStatus();  // the title of the picture that stays
    return 1;
  }
  const std::string previousPath = loadFailed_ ? std::string() : currentPath_;
  currentPath_ = path;
  DropPicture(previousPath);
  current_ = std::move(picture);
  currentStamp_ = stamp;
  return ShowOpened(sw);
}

image::TexturePtr Controller::ReadPicture(const char* path, FileStamp& stamp) {
  stamp = readAhead_ ? StampOf(platform::ResolvePath(path)) : FileStamp();
  image::TexturePtr picture;
  if (!readAhead_ || !readAhead_->Take(platform::ResolvePath(path), picture))
    picture.reset(reader_ ? reader_(path) : nullptr);
  if (picture && !picture->chunky) picture.reset();
  if (picture && std::strcmp(path, kClipboardUnit) == 0) ForgetFileMetadata(picture.get());
  return picture;
}

void Controller::DropPicture(const std::string& previousPath) {
  CancelFullPicture();
  ShowImage(nullptr);
  if (observer_) observer_->PictureOpened();
  if (observer_) observer_->OverlayChanged(nullptr);
  info_.clear();
  hasInfo_ = false;

  // The picture left behind, unchanged, is the neighbour a step back wants.
  if (readAhead_ && pristine_ && current_ && !editBackup_ && !previousPath.empty())
    readAhead_->Offer(platform::ResolvePath(previousPath), std::move(current_), currentStamp_);
  pristine_ = false;
  current_.reset();
  editBackup_.reset();
  undo_.reset();
  redo_.reset();
}

int Controller::ShowOpened(platform::Stopwatch& sw) {
  loadTime_ = sw.Elapsed(1.0f);

  if (!current_) {
    loadFailed_ = true;
    ShowImage(nullptr);
    exif_.Close();
  } else {
    bool jpeg = current_->formatName == "JPEG";
    if (!jpeg) {
      exif_.Close();
      // The EXIF data of an earlier picture must not turn this one.
      exif_.Clear();
    } else {
      if (exif_.exifInfoChecked) exif_.Open();
      exif_.ReadFile(currentPath_);
    }
    if (correctOrientation_ && jpeg) {
      if (!exif_.exifInfoChecked) exif_.ReadFile(currentPath_);
      ApplyOrientation(exif_.orientation());
    }
    if (jpeg && exif_.hasInfo()) {
      info_ = exif_.info();
    } else {
      info_ = {{"Name:", std::string(platform::FilePart(currentPath_))}};
    }
    hasInfo_ = true;
    loadFailed_ = false;
    pristine_ = !exif_.orientationApplied();
    ShowImage(current_.get());
    if (observer_) observer_->OverlayChanged(infoOverlay_ ? &info_ : nullptr);
  }
  loadTime_ = sw.Elapsed(1.0f);
  editBackup_.reset();
  UpdateStatus();
  if (!loadFailed_ && browser_) browser_->CurrentFileChanged(currentPath_);
  ReadAheadNeighbours();
  return loadFailed_ ? 1 : 0;
}

void Controller::PastePicture() {
  SetTitle("Vistaloom[MorphOS]: (Loading fro clipboard...)");
  platform::Stopwatch& sw = platform::LoadStopwatch();
  sw.Start();
  image::TexturePtr picture(reader_ ? reader_(kClipboardUnit) : nullptr);
  ShowPasted(std::move(picture), sw.Elapsed(1.0f));
}

void Controller::PastePicture(image::TexturePtr picture) {
  ShowPasted(std::move(picture), 0.0f);
}

void Controller::ShowPasted(image::TexturePtr picture, float seconds) {
  CancelFullPicture();
  pristine_ = false;
  ShowImage(nullptr);
  if (observer_) observer_->PictureOpened();
  current_.reset();
  editBackup_.reset();
  current_ = std::move(picture);
  if (current_ && !current_->chunky) current_.reset();
  if (current_) current_->name = "Clipboard";
  ForgetFileMetadata(current_.get());

  ShowImage(current_.get());
  editBackup_.reset();

  const image::ChunkyImage* c = current_ ? current_->chunky : nullptr;
  char buf[1200];
  if (c)
    std::snprintf(buf, sizeof buf, "Vistaloom[MorphOS]: %s (%d x %d)", "Clipboard", c->width, c->height);
  else
    std::snprintf(buf, sizeof buf, "Vistaloom[MorphOS]: Failed to load image");
  SetTitle(buf);

  StatusTexts s;
  std::snprintf(buf, sizeof buf, "%d pixels", c ? c->width : 0);
  s.width = buf;
  std::snprintf(buf, sizeof buf, "%d pixels", c ? c->height : 0);
  s.height = buf;
  s.format = c ? formats::GetFormatName() : std::string();
  std::snprintf(buf, sizeof buf, "%.3fs", static_cast<double>(seconds));
  s.loadTime = buf;
  s.title = title_;
  status_ = s;
  if (observer_) observer_->StatusChanged(status_);
}

int Controller::CopyPicture() {
  FinishFullPicture();
  if (!current_ || !current_->chunky) return 1;
  return clipboardWriter_ && clipboardWriter_(current_->chunky) ? 0 : 1;
}

bool Controller::BeginEdit() {
  FinishFullPicture();
  pristine_ = false;
  if (!editBackup_ && current_) editBackup_.reset(image::DuplicateTexture(current_.get()));
  return editBackup_ != nullptr;
}

void Controller::CommitEdit() {
  pristine_ = false;
  if (!editBackup_) return;
  undo_ = std::move(editBackup_);
  redo_.reset();
}

void Controller::CancelEdit() {
  pristine_ = false;
  if (editBackup_ && current_) {
    image::ChunkyImage* from = editBackup_->chunky;
    image::ChunkyImage* to = current_->chunky;
    if (from && to && from->width == to->width && from->height == to->height && from->format == to->format) {
      std::memcpy(to->pixels, from->pixels, image::BufferBytes(to->width, to->height, to->format));
      editBackup_.reset();
    } else {
      // The sizes no longer match: the backup itself becomes the current picture.
      current_ = std::move(editBackup_);
      UpdateStatus();
    }
    RefreshDisplay();
  }
  editBackup_.reset();
}

void Controller::ToggleUndo() {
  FinishFullPicture();
  pristine_ = false;
  if (editBackup_) return;
  if (undo_) {
    ShowImage(nullptr);
    redo_ = std::move(current_);
    current_ = std::move(undo_);
  } else if (redo_) {
    undo_ = std::move(current_);
    current_ = std::move(redo_);
  } else {
    return;
  }
  UpdateStatus();
  RefreshDisplay();
}

bool Controller::ReplaceChunky(image::ChunkyPtr chunky) {
  CancelFullPicture();
  pristine_ = false;
  if (!chunky || !current_) return false;
  ShowImage(nullptr);
  image::chk_Free(current_->chunky);
  current_->chunky = chunky.release();
  editBackup_.reset();
  UpdateStatus();
  RefreshDisplay();
  return true;
}

void Controller::UpdateStatus() {
  status_ = MakeStatusTexts(current_.get(), currentPath_, loadFailed_, loadTime_);
  SetTitle(status_.title);
  if (observer_) observer_->StatusChanged(status_);
}

void Controller::SetInfoOverlay(bool checked) {
  infoOverlay_ = checked;
  if (observer_) observer_->OverlayChanged(checked && hasInfo_ ? &info_ : nullptr);
}

void Controller::ChangeDirectory(const std::string& path) {
  if (readAhead_) readAhead_->Clear();
  if (browser_) browser_->SetPath(path);
}

bool Controller::Step(int direction) {
  if (!browser_) return false;
  lastDirection_ = direction;
  if (readAheadOnStep_ && !readAhead_) EnableReadAhead(true);
  BrowserList& list = *browser_;
  const int count = list.EntryCount();
  if (count <= 0) return false;
  const int selected = list.SelectedIndex();
  if (selected < 0) {
    list.Select(0);
    return !list.IsDirectory(0);
  }
  const int boundary = direction > 0 ? count - 1 : 0;
  if ((direction > 0 && selected >= boundary) || (direction < 0 && selected <= boundary)) {
    list.Select(-1);
    return false;
  }
  for (int i = selected + direction;; i += direction) {
    if (i >= count) continue;  // a selection past the end, stepping back
    bool taken = false;
    if (!list.IsDirectory(i)) {
      if (list.IsPicture(i)) {
        taken = true;
      } else {
        std::string full = list.FullPath(i);
        taken = !full.empty() && pictureTest_ && pictureTest_(full);
      }
    }
    if (taken) {
      list.Select(i);
      return true;
    }
    if (i == boundary) {
      list.Select(-1);
      return false;
    }
  }
}

}  // namespace vl::app
