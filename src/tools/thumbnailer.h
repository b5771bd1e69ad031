// The thumbnailer: walks a directory (and, on request, its subdirectories) and writes next
// to every picture a small PNG version of it under a derived name; with the suffix ".info"
// these serve as the pictures' desktop icons. The small picture can be placed into a
// template image at an offset. The walk runs in a worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "image/chunky.h"

namespace vl::tasks {
struct Worker;
}

namespace vl::tools {

struct ThumbnailerJob;
using ThumbnailerNotify = std::function<void(ThumbnailerJob&)>;

// Filled in before the start; the progress fields are written by the worker. The counters
// and currentFile may be read from any thread while the job runs.
struct ThumbnailerJob {
  int32_t width = 64;
  int32_t height = 64;
  std::string path;
  std::string suffix = ".info";
  const image::Texture* templateImage = nullptr;  // owned by the caller, outlives the job
  int32_t offsetX = 0;
  int32_t offsetY = 0;
  bool recursive = false;
  bool preserveAspect = true;
  bool replace = false;
  std::string defaultTool;  // empty: none

  ThumbnailerNotify fileNotify, scannedNotify, directoryNotify, finishedNotify;

  std::atomic<uint32_t> scannedFiles{0};
  std::atomic<uint32_t> scannedDirectories{0};
  std::atomic<uint32_t> createdThumbnails{0};
  tasks::Worker* worker = nullptr;

  std::string CurrentFile() const;
  void SetCurrentFile(const std::string& file);

 private:
  mutable std::mutex currentMutex_;
  std::string currentFile_;
};

// Walks directory; 1 when a stop was requested (the whole walk ends, every level releasing
// what it holds), 0 otherwise. worker may be null (no stop requests).
int ThumbnailDirectory(tasks::Worker* worker, ThumbnailerJob& job, const std::string& directory, int depth);

// The output name for a picture: path (cut at its last "." with replace) followed by the
// suffix, with a "." put between them when the suffix has none.
std::string ThumbnailName(const std::string& path, const std::string& suffix, bool replace);

// The small picture of picture (Lanczos into the W x H box, keeping the aspect when
// preserveAspect); with a template, a copy of the template with the small picture blended
// in, centred in the box at the template's top-left corner and moved by the offsets,
// clipped on every side. freePicture frees picture once it has been resampled. Null for a
// null picture or when resampling fails.
image::ChunkyImage* MakeTemplateThumbnail(image::ChunkyImage* picture, const image::ChunkyImage* templateImage,
                                          int32_t width, int32_t height, int32_t offsetX, int32_t offsetY,
                                          bool freePicture, bool preserveAspect);

// The worker's entry: walks job.path (the job is the worker's user data), marks the job
// done and calls the finished notification.
void RunThumbnailer();

// Clears the counters and starts the worker; false when it could not be started.
bool StartThumbnailer(ThumbnailerJob& job);
// Asks a running job to stop and waits for it (also after it has finished by itself).
void StopThumbnailer(ThumbnailerJob& job);

}  // namespace vl::tools
