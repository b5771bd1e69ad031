// The JPEG options' "_Test": the picture saved with the chosen options to a temporary file,
// loaded back and the file deleted, so the user sees what the compression does and how
// large the file gets. JpegTestRunner runs it on a worker and hands the result to the main
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/save.h"
#include "image/chunky.h"
#include "platform/main_thread_queue.h"

namespace vl::app {

// The file-size line after a failed test.
inline constexpr const char* kJpegTestError = "Error";

// "%d bytes (%d kB)" with size and size / 1024 (truncating).
std::string JpegTestSizeText(int64_t size);

// A temporary file name no other test, in this program or another running one, uses:
// "T:VLTemp-<pid>-<counter>.jpg".
std::string JpegTestTempName();

struct JpegTestResult {
  bool ok = false;
  image::TexturePtr picture;  // the decoded test file, when ok
  int64_t size = 0;           // the test file's size in bytes, when ok
  std::string text;           // the file-size line: JpegTestSizeText(size) or kJpegTestError
};

// Turns a path into a picture; the loader's ReadPicture unless a test gives another.
using JpegTestReader = std::function<image::Texture*(const char* path)>;

// SaveJPEG of image to tempName (an assign name or a path), ReadPicture of it, its size,
// and the file deleted whether the load worked or not. The text is "Error" when the save
// or the load failed.
JpegTestResult RunJpegTest(const image::ChunkyImage* image, const JpegSaveOptions& options, const std::string& tempName,
                           const JpegTestReader& reader = {});

// Runs one test at a time on a worker thread. The result reaches the caller through the
// main-thread queue, so done runs on the thread that drains it (the GUI thread), and only
// while the runner exists: a runner destroyed during a test waits for the worker and drops
// its result.
class JpegTestRunner {
 public:
  using Done = std::function<void(JpegTestResult result)>;

  // queue outlives the runner.
  explicit JpegTestRunner(platform::MainThreadQueue& queue);
  ~JpegTestRunner();
  JpegTestRunner(const JpegTestRunner&) = delete;
  JpegTestRunner& operator=(const JpegTestRunner&) = delete;

  // Starts a test on a copy of image (the caller may change or free it at once). False,
  // and nothing started, while a test runs, without an image or when the copy fails.
  bool Start(const image::ChunkyImage* image, const JpegSaveOptions& options, Done done);
  // A test was started and its result has not been handed over yet.
  bool running() const { return running_; }
  // The reader the worker uses (ReadPicture by default); set it before Start.
  void SetReader(JpegTestReader reader) { reader_ = std::move(reader); }

 private:
  // Lives as long as a queued result may still look at it; touched on the main thread only.
  struct Token {
    bool alive = true;
  };

  platform::MainThreadQueue& queue_;
  std::shared_ptr<Token> token_;
  JpegTestReader reader_;
  std::thread worker_;
  bool running_ = false;
};

}  // namespace vl::app
