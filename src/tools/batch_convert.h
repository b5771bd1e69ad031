// The batch converter: turns every picture of one directory (not its subdirectories) into
// a JPEG file of the same name in a destination directory, optionally resized to fit a
// box, and counts what it did and how much space that saved or cost. The work runs in a
// worker thread.
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

struct BatchJob;
using BatchNotify = std::function<void(BatchJob&)>;

// Filled in before the start; the progress fields are written by the worker and may be
// read from any thread while it runs.
struct BatchJob {
  int32_t width = 800;
  int32_t height = 600;
  bool enlarge = false;
  bool reduce = false;
  int32_t quality = 90;  // 10-100
  std::string sourceDir;
  std::string destDir;  // created level by level when missing

  BatchNotify scannedNotify, fileNotify, finishedNotify, processedNotify;

  std::atomic<int32_t> scanned{0};    // plain files examined, pictures or not
  std::atomic<int32_t> processed{0};  // directory entries handled, directories included
  std::atomic<int32_t> converted{0};  // JPEG files written
  std::atomic<int32_t> unsaved{0};    // pictures read that could not be resized or written
  std::atomic<int32_t> entries{0};    // directory entries found (all known before the first is handled)
  // Running total of (source size - JPEG size) in bytes over the converted files.
  std::atomic<int64_t> sizeDifference{0};
  tasks::Worker* worker = nullptr;

  std::string CurrentFile() const;
  std::string SizeText() const;  // FormatFileSize of the magnitude of sizeDifference
  void SetCurrentFile(const std::string& file);
  void SetSizeText(const std::string& text);

 private:
  mutable std::mutex textMutex_;
  std::string currentFile_;
  std::string sizeText_;
};

// The size of a picture after the box test: enlarge fits a picture that falls short of
// the box on either side into it (which can shrink the other side), reduce fits one that
// exceeds it on either side. Returns image itself when the size stays, else a new
// Lanczos-resampled buffer, or null when resampling fails.
image::ChunkyImage* BatchResize(image::ChunkyImage* image, int32_t width, int32_t height, bool enlarge, bool reduce);

// The "File size difference:" text: "smaller by %s", "larger by %s" or "none".
std::string SizeDifferenceText(int64_t sizeDifference, const std::string& sizeText);

// The conversion itself. worker may be null (no stop requests).
void ConvertDirectory(tasks::Worker* worker, BatchJob& job);

// The worker's entry: converts the job's directory (the job is the worker's user data),
// marks the job done and calls the finished notification.
void RunBatchConversion();

// Clears the counters and starts the worker; false when it could not be started.
bool StartBatchConversion(BatchJob& job);
// Asks a running job to stop and waits for it (also after it has finished by itself).
void StopBatchConversion(BatchJob& job);

}  // namespace vl::tools
