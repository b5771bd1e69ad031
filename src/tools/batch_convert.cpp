#include "tools/batch_convert.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

#include "formats/file_load.h"
#include "formats/file_type.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "formats/path_parts.h"
#include "formats/size_text.h"
#include "image/resample.h"
#include "platform/paths.h"
#include "platform/thread_pool.h"
#include "tasks/worker.h"
#include "tools/read_ahead.h"
#include "tools/walk.h"

namespace vl::tools {

std::string BatchJob::CurrentFile() const {
  std::lock_guard<std::mutex> lock(textMutex_);
  return currentFile_;
}

std::string BatchJob::SizeText() const {
  std::lock_guard<std::mutex> lock(textMutex_);
  return sizeText_;
}

void BatchJob::SetCurrentFile(const std::string& file) {
  std::lock_guard<std::mutex> lock(textMutex_);
  currentFile_ = file;
}

void BatchJob::SetSizeText(const std::string& text) {
  std::lock_guard<std::mutex> lock(textMutex_);
  sizeText_ = text;
}

namespace {

void Notify(const BatchNotify& notify, BatchJob& job) {
  if (notify) notify(job);
}

struct Entry {
  std::string name;
  bool directory = false;
};

// Every entry of the source directory, read completely before anything is converted, so
// files written meanwhile (a destination inside or equal to the source) never join in.
std::vector<Entry> ReadEntries(const std::string& directory) {
  std::vector<Entry> entries;
  DirectoryReader dir(directory);
  std::string name;
  while (dir.Next(name)) {
    struct stat st;
    const std::string path = platform::JoinPath(directory, name);
    entries.push_back({name, ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)});
  }
  return entries;
}

// Loads, resizes and saves one picture; upcoming are the pictures that follow, read ahead while
// this one is resized and saved.
void ConvertFile(BatchJob& job, const std::string& path, PictureReadAhead& ahead,
                 const std::vector<std::string>& upcoming) {
  job.SetCurrentFile(path);
  Notify(job.fileNotify, job);

  std::string destination = job.destDir;
  if (!platform::AddPart(destination, platform::FilePart(path), PATH_MAX - 1)) {
    std::fputs("Not enough memory!\n", stdout);
    return;
  }
  image::TexturePtr picture = ahead.Take(path);
  ahead.Want(upcoming);
  // While the next pictures are read, this one's work leaves that reading a processor.
  platform::ScopedThreadLimit share(upcoming.empty() ? platform::kMaxThreads : platform::ThreadCount() - 1);
  const uint64_t sourceSize = formats::FileSize(path.c_str());
  if (!picture || !picture->chunky) {
    std::fputs("Not enough memory to load image\n", stdout);
    return;
  }
  image::ChunkyImage* resized = BatchResize(picture->chunky, job.width, job.height, job.enlarge, job.reduce);
  if (!resized) {
    std::fputs("Not enough memory!\n", stdout);
    job.unsaved.fetch_add(1);
    return;
  }
  image::ChunkyPtr newBuffer(resized != picture->chunky ? resized : nullptr);

  platform::MakeDirectories(formats::DirPart(destination.c_str()));
  const int quality = std::clamp<int32_t>(job.quality, 10, 100);
  // The converted file keeps the picture's EXIF block and ICC profile.
  if (formats::SaveJPEG(resized, destination.c_str(), quality, true, false, formats::MetadataOf(picture.get()))) {
    const int64_t delta =
        static_cast<int64_t>(sourceSize) - static_cast<int64_t>(formats::FileSize(destination.c_str()));
    const int64_t difference = job.sizeDifference.fetch_add(delta) + delta;
    char text[64];
    formats::FormatFileSize(text, sizeof text,
                            difference < 0 ? static_cast<uint64_t>(-difference) : static_cast<uint64_t>(difference));
    job.SetSizeText(text);
    job.converted.fetch_add(1);
  } else {
    std::fputs("Failed to save as JPEG\n", stdout);
    job.unsaved.fetch_add(1);
  }
}

}  // namespace

image::ChunkyImage* BatchResize(image::ChunkyImage* image, int32_t width, int32_t height, bool enlarge, bool reduce) {
  if (!image) return nullptr;
  image::Size size{image->width, image->height};
  if (enlarge && (size.width < width || size.height < height))
    size = image::FitSize(size.width, size.height, width, height);
  if (reduce && (size.width > width || size.height > height))
    size = image::FitSize(size.width, size.height, width, height);
  if (size.width == image->width && size.height == image->height) return image;
  return image::ScaleImage(image, size.width, size.height, image::kMethodLanczos);
}

std::string SizeDifferenceText(int64_t sizeDifference, const std::string& sizeText) {
  if (sizeDifference > 0) return "smaller by " + sizeText;
  if (sizeDifference < 0) return "larger by " + sizeText;
  return "none";
}

void ConvertDirectory(tasks::Worker* worker, BatchJob& job) {
  job.scanned = 0;
  job.converted = 0;
  job.unsaved = 0;
  job.processed = 0;
  job.sizeDifference = 0;
  job.SetSizeText("");

  const std::vector<Entry> entries = ReadEntries(job.sourceDir);
  job.entries = static_cast<int32_t>(std::min<size_t>(entries.size(), INT32_MAX));
  PictureReadAhead ahead;
  // The pictures after entry i, as many as are read ahead.
  auto upcomingPictures = [&](size_t i) {
    std::vector<std::string> upcoming;
    for (size_t k = i + 1; k < entries.size() && upcoming.size() < PictureReadAhead::kMaxAhead; ++k) {
      std::string path = job.sourceDir;
      if (entries[k].directory || !platform::AddPart(path, entries[k].name, PATH_MAX - 1)) continue;
      if (formats::IsPictureFile(path.c_str())) upcoming.push_back(std::move(path));
    }
    return upcoming;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    std::string path = job.sourceDir;
    const bool named = platform::AddPart(path, entry.name, PATH_MAX - 1);
    if (tasks::sthdCheckStop(worker)) return;
    if (named && !entry.directory) {
      if (formats::IsPictureFile(path.c_str())) ConvertFile(job, path, ahead, upcomingPictures(i));
      job.scanned.fetch_add(1);
      Notify(job.scannedNotify, job);
    }
    job.processed.fetch_add(1);
    Notify(job.processedNotify, job);
  }
}

void RunBatchConversion() {
  tasks::Worker* worker = tasks::sthdSelf();
  auto* job = static_cast<BatchJob*>(tasks::sthdUserData(worker));
  if (!job) return;
  ConvertDirectory(worker, *job);
  tasks::sthdSetDone(worker);
  Notify(job->finishedNotify, *job);
}

bool StartBatchConversion(BatchJob& job) {
  job.scanned = 0;
  job.converted = 0;
  job.unsaved = 0;
  job.processed = 0;
  job.entries = 0;
  job.sizeDifference = 0;
  job.SetSizeText("");
  job.SetCurrentFile("");
  job.worker = tasks::sthdCreate(RunBatchConversion, &job);
  return job.worker != nullptr;
}

void StopBatchConversion(BatchJob& job) {
  if (!job.worker) return;
  tasks::sthdJoin(job.worker);
  job.worker = nullptr;
}

}  // namespace vl::tools
