#include "app/jpeg_test.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "formats/file_load.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "platform/paths.h"

namespace vl::app {

std::string JpegTestSizeText(int64_t size) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lld bytes (%lld kB)", static_cast<long long>(size),
                static_cast<long long>(size / 1024));
  return buf;
}

std::string JpegTestTempName() {
  static std::atomic<unsigned> counter{0};
  return "T:VLTemp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".jpg";
}

JpegTestResult RunJpegTest(const image::ChunkyImage* image, const JpegSaveOptions& options, const std::string& tempName,
                           const JpegTestReader& reader) {
  JpegTestResult r;
  r.text = kJpegTestError;
  if (!image || tempName.empty()) return r;
  const std::string path = platform::ResolvePath(tempName);
  const int quality = std::clamp(options.quality, kJpegQualityMin, kJpegQualityMax);
  // A failed save leaves no file: the saver removes its own temporary file.
  if (!formats::SaveJPEG(image, path.c_str(), quality, options.optimize, options.noSubsampling)) return r;
  r.picture.reset(reader ? reader(path.c_str()) : formats::ReadPicture(path.c_str()));
  if (r.picture && !r.picture->chunky) r.picture.reset();
  if (r.picture) {
    r.ok = true;
    r.size = static_cast<int64_t>(formats::FileSize(path.c_str()));
    r.text = JpegTestSizeText(r.size);
  }
  ::unlink(path.c_str());
  return r;
}

JpegTestRunner::JpegTestRunner(platform::MainThreadQueue& queue) : queue_(queue), token_(std::make_shared<Token>()) {}

JpegTestRunner::~JpegTestRunner() {
  token_->alive = false;
  if (worker_.joinable()) worker_.join();
}

bool JpegTestRunner::Start(const image::ChunkyImage* image, const JpegSaveOptions& options, Done done) {
  if (running_ || !image || !image->pixels) return false;
  image::ChunkyPtr copy(image::chk_Duplicate(image));
  if (!copy) return false;
  // The last worker handed its result over already; it has ended or is about to.
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread([this, queue = &queue_, token = token_, reader = reader_, options, copy = std::move(copy),
                         done = std::move(done)]() mutable {
    auto result = std::make_shared<JpegTestResult>(RunJpegTest(copy.get(), options, JpegTestTempName(), reader));
    copy.reset();
    queue->Push([this, token, result, done] {
      if (!token->alive) return;  // the runner is gone; the result is freed with this job
      running_ = false;
      done(std::move(*result));
    });
  });
  return true;
}

}  // namespace vl::app
