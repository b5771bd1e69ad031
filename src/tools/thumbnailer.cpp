#include "tools/thumbnailer.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>

#include "formats/file_type.h"
#include "formats/icon.h"
#include "formats/loader.h"
#include "formats/png_writer.h"
#include "platform/paths.h"
#include "platform/thread_pool.h"
#include "tasks/worker.h"
#include "thumbs/thumbnail.h"
#include "tools/read_ahead.h"
#include "tools/walk.h"

namespace vl::tools {

std::string ThumbnailerJob::CurrentFile() const {
  std::lock_guard<std::mutex> lock(currentMutex_);
  return currentFile_;
}

void ThumbnailerJob::SetCurrentFile(const std::string& file) {
  std::lock_guard<std::mutex> lock(currentMutex_);
  currentFile_ = file;
}

namespace {

void Notify(const ThumbnailerNotify& notify, ThumbnailerJob& job) {
  if (notify) notify(job);
}

// Sets the default tool of name's icon (name + ".info"); the record keeps its old tool
// when the icon cannot be written.
void SetIconDefaultTool(const std::string& name, const std::string& tool) {
  formats::DiskObjectPtr icon(formats::GetDiskObject(name));
  if (!icon) return;
  std::string previous = icon->defaultTool;
  icon->defaultTool = tool;
  if (!formats::PutDiskObject(name, icon.get())) icon->defaultTool = previous;
}

// Makes, saves and counts the thumbnail of one picture file; upcoming are the pictures that
// follow, read ahead while this one is thumbnailed.
void ThumbnailFile(ThumbnailerJob& job, const std::string& path, PictureReadAhead& ahead,
                   const std::vector<std::string>& upcoming) {
  job.SetCurrentFile(path);
  Notify(job.fileNotify, job);

  const std::string output = ThumbnailName(path, job.suffix, job.replace);
  image::TexturePtr picture = ahead.Take(path);
  ahead.Want(upcoming);
  // While the next pictures are read, this one's work leaves that reading a processor.
  platform::ScopedThreadLimit share(upcoming.empty() ? platform::kMaxThreads : platform::ThreadCount() - 1);
  if (!picture || !picture->chunky) {
    std::fputs("Not enough memory to load image\n", stdout);
    return;
  }
  image::ChunkyImage* pixels = picture->chunky;
  picture->chunky = nullptr;  // given away to MakeTemplateThumbnail
  picture.reset();
  image::ChunkyPtr thumb(MakeTemplateThumbnail(pixels, job.templateImage ? job.templateImage->chunky : nullptr,
                                               job.width, job.height, job.offsetX, job.offsetY, true,
                                               job.preserveAspect));
  if (!thumb) return;
  if (formats::SavePNG(thumb.get(), output.c_str(), true)) {
    job.createdThumbnails.fetch_add(1);
    if (!job.defaultTool.empty() && job.suffix == formats::kIconSuffix) SetIconDefaultTool(path, job.defaultTool);
  } else {
    std::fputs("Failed to save as PNG\n", stdout);
  }
}

// A plain file that gets a thumbnail: a picture that is neither an icon nor a thumbnail.
bool IsCandidate(const ThumbnailerJob& job, const std::string& name, const std::string& path) {
  return !EndsWithNoCase(name, formats::kIconSuffix) && !EndsWithNoCase(name, job.suffix) &&
         formats::IsPictureFile(path.c_str());
}

}  // namespace

std::string ThumbnailName(const std::string& path, const std::string& suffix, bool replace) {
  std::string name = path;
  if (replace) {
    // Only a "." of the file's own name counts, never one of a directory above it; a name
    // that starts with its only "." keeps it.
    const size_t filePart = path.size() - platform::FilePart(path).size();
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > filePart) name.resize(dot);
  }
  if (!suffix.empty() && suffix.front() == '.') return name + suffix;
  return name + "." + suffix;
}

image::ChunkyImage* MakeTemplateThumbnail(image::ChunkyImage* picture, const image::ChunkyImage* templateImage,
                                          int32_t width, int32_t height, int32_t offsetX, int32_t offsetY,
                                          bool freePicture, bool preserveAspect) {
  return thumbs::MakeThumbnail(picture, templateImage, width, height, offsetX, offsetY, freePicture, preserveAspect);
}

int ThumbnailDirectory(tasks::Worker* worker, ThumbnailerJob& job, const std::string& directory, int depth) {
  DirectoryReader dir(directory);
  if (!dir.ok()) return 0;  // not there, or not a directory: nothing done, not counted
  // Entries are read from the directory ahead of the one being handled, each found a candidate
  // or not once, so that the pictures among them are read while the current one is thumbnailed.
  PictureReadAhead ahead(true);  // icons are made from a RAW's preview
  struct Following {
    std::string name;
    std::string path;
    int candidate = -1;  // -1: not yet known
  };
  constexpr size_t kLookahead = 8;
  std::deque<Following> following;
  auto fill = [&] {
    std::string next;
    while (following.size() < kLookahead && dir.Next(next)) following.push_back({std::move(next), {}, -1});
  };
  auto upcomingPictures = [&]() {
    std::vector<std::string> upcoming;
    for (Following& f : following) {
      if (upcoming.size() == PictureReadAhead::kMaxAhead) break;
      if (f.candidate < 0) {
        f.path = directory;
        f.candidate = platform::AddPart(f.path, f.name, PATH_MAX - 1) && KindOf(f.path) == EntryKind::kFile &&
                      IsCandidate(job, f.name, f.path);
      }
      if (f.candidate) upcoming.push_back(f.path);
    }
    return upcoming;
  };
  fill();
  std::string name;
  while (!following.empty()) {
    name = std::move(following.front().name);
    following.pop_front();
    fill();
    if (tasks::sthdCheckStop(worker)) return 1;

    std::string path = directory;
    if (!platform::AddPart(path, name, PATH_MAX - 1)) {
      std::printf("Not enough memory for path(%d bytes)\n", static_cast<int>(directory.size() + name.size() + 2));
      continue;
    }
    const EntryKind kind = KindOf(path);
    if (kind == EntryKind::kDirectory) {
      if (job.recursive && ThumbnailDirectory(worker, job, path, depth + 1)) return 1;
      continue;
    }
    if (kind == EntryKind::kOther) continue;  // a link to a directory, a device, ...

    if (IsCandidate(job, name, path)) ThumbnailFile(job, path, ahead, upcomingPictures());
    job.scannedFiles.fetch_add(1);
    Notify(job.scannedNotify, job);
  }
  job.scannedDirectories.fetch_add(1);
  Notify(job.directoryNotify, job);
  return 0;
}

void RunThumbnailer() {
  tasks::Worker* worker = tasks::sthdSelf();
  auto* job = static_cast<ThumbnailerJob*>(tasks::sthdUserData(worker));
  if (!job) return;
  ThumbnailDirectory(worker, *job, job->path, 0);
  tasks::sthdSetDone(worker);
  Notify(job->finishedNotify, *job);
}

bool StartThumbnailer(ThumbnailerJob& job) {
  job.scannedFiles = 0;
  job.scannedDirectories = 0;
  job.createdThumbnails = 0;
  job.SetCurrentFile("");
  job.worker = tasks::sthdCreate(RunThumbnailer, &job);
  return job.worker != nullptr;
}

void StopThumbnailer(ThumbnailerJob& job) {
  if (!job.worker) return;
  tasks::sthdJoin(job.worker);
  job.worker = nullptr;
}

}  // namespace vl::tools
