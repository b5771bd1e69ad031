#include "app/jpeg_transform_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "formats/file_type.h"
#include "image/geometry.h"
#include "image/resample.h"
#include "platform/paths.h"

namespace vl::app {
namespace {

constexpr size_t kMaxPathLength = 1023;

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WorkingDirectory() {
  std::string dir(4096, '\0');
  if (!::getcwd(dir.data(), dir.size())) return "/";
  dir.resize(std::char_traits<char>::length(dir.c_str()));
  return dir;
}

}  // namespace

std::string TransformSourcePath(const std::string& currentPath) {
  if (currentPath.empty()) return {};
  std::string path = platform::ResolvePath(currentPath);
  if (!path.empty() && path.front() != '/') path = platform::JoinPath(WorkingDirectory(), path);
  return path;
}

bool IsJpegPicture(const std::string& path) {
  return !path.empty() && formats::GetDataTypeName(path.c_str()).name == "JPEG";
}

TransformOutput ResolveTransformOutput(const std::string& source, const std::string& text) {
  TransformOutput out;
  if (text.empty()) {
    out.error = "Please give the name of the output file.\n";
    return out;
  }
  if (text.find('\0') != std::string::npos || text.size() > kMaxPathLength) {
    out.error = "The name of the output file is not usable.\n";
    return out;
  }
  std::string path = platform::HasAssign(text) ? platform::ResolvePath(text) : text;
  if (path.front() != '/') path = platform::JoinPath(platform::PathPart(source), path);
  if (IsDirectory(path)) path = platform::JoinPath(path, platform::FilePart(source));
  if (path.size() > kMaxPathLength) {
    out.error = "The name of the output file is not usable.\n";
    return out;
  }
  out.ok = true;
  out.path = std::move(path);
  return out;
}

Size2 FitIntoBox(int w, int h, int boxWidth, int boxHeight) {
  if (w <= 0 || h <= 0 || boxWidth <= 0 || boxHeight <= 0) return {};
  if (w <= boxWidth && h <= boxHeight) return {w, h};
  // The side that meets the box first sets the scale; 64-bit products never overflow.
  const int64_t byWidth = int64_t{h} * boxWidth;    // height if the width met the box
  const int64_t byHeight = int64_t{w} * boxHeight;  // width if the height met the box
  Size2 s;
  if (byWidth / w <= boxHeight) {
    s = {boxWidth, static_cast<int>(byWidth / w)};
  } else {
    s = {static_cast<int>(byHeight / h), boxHeight};
  }
  s.width = std::max(1, s.width);
  s.height = std::max(1, s.height);
  return s;
}

Size2 TransformedSize(int w, int h, formats::JpegTransformation t) {
  switch (t) {
    case formats::JpegTransformation::kRotate90:
    case formats::JpegTransformation::kRotate270: return {h, w};
    default: return {w, h};
  }
}

image::ChunkyImage* ScalePreview(const image::ChunkyImage* picture, int boxWidth, int boxHeight) {
  if (!picture || !picture->pixels) return nullptr;
  const Size2 s = FitIntoBox(picture->width, picture->height, boxWidth, boxHeight);
  if (s.width == 0) return nullptr;
  if (s.width == picture->width && s.height == picture->height) return image::chk_Duplicate(picture);
  return image::ScaleImage(picture, s.width, s.height, image::kMethodTriangle);
}

image::ChunkyImage* TransformPreview(const image::ChunkyImage* preview, formats::JpegTransformation t) {
  if (!preview || !preview->pixels) return nullptr;
  using formats::JpegTransformation;
  if (t == JpegTransformation::kRotate90) return image::RotateClockwise(preview);
  if (t == JpegTransformation::kRotate270) return image::RotateCounterClockwise(preview);
  image::ChunkyImage* copy = image::chk_Duplicate(preview);
  if (!copy) return nullptr;
  if (t == JpegTransformation::kFlipHorizontal || t == JpegTransformation::kRotate180) image::FlipHorizontal(copy);
  if (t == JpegTransformation::kFlipVertical || t == JpegTransformation::kRotate180) image::FlipVertical(copy);
  return copy;
}

JpegTransformResult RunJpegTransform(const std::string& source, const std::string& output,
                                     formats::JpegTransformation t, bool trim) {
  JpegTransformResult r;
  r.output = output;
  r.ok = formats::ExecuteJpegTransform(source, output, t, trim, {}, r.error);
  r.changed = r.ok && t != formats::JpegTransformation::kNone;
  return r;
}

JpegTransformJobs::JpegTransformJobs(platform::MainThreadQueue& queue)
    : queue_(queue), token_(std::make_shared<Token>()) {}

JpegTransformJobs::~JpegTransformJobs() {
  token_->alive = false;
  if (previewWorker_.joinable()) previewWorker_.join();
  if (transformWorker_.joinable()) transformWorker_.join();
}

bool JpegTransformJobs::StartPreview(const image::ChunkyImage* picture, int boxWidth, int boxHeight, PreviewDone done) {
  if (previewRunning_ || !picture || !picture->pixels) return false;
  image::ChunkyPtr copy(image::chk_Duplicate(picture));
  if (!copy) return false;
  // The last worker handed its result over already; it has ended or is about to.
  if (previewWorker_.joinable()) previewWorker_.join();
  previewRunning_ = true;
  previewWorker_ = std::thread([this, queue = &queue_, token = token_, copy = std::move(copy), boxWidth, boxHeight,
                                done = std::move(done)]() mutable {
    auto preview = std::make_shared<image::ChunkyPtr>(ScalePreview(copy.get(), boxWidth, boxHeight));
    copy.reset();
    queue->Push([this, token, preview, done] {
      if (!token->alive) return;  // the jobs object is gone; the preview is freed with this job
      previewRunning_ = false;
      done(std::move(*preview));
    });
  });
  return true;
}

bool JpegTransformJobs::StartTransform(const std::string& source, const std::string& output,
                                       formats::JpegTransformation t, bool trim, TransformDone done) {
  if (transformRunning_) return false;
  if (transformWorker_.joinable()) transformWorker_.join();
  transformRunning_ = true;
  transformWorker_ =
      std::thread([this, queue = &queue_, token = token_, source, output, t, trim, done = std::move(done)]() mutable {
        auto result = std::make_shared<JpegTransformResult>(RunJpegTransform(source, output, t, trim));
        queue->Push([this, token, result, done] {
          if (!token->alive) return;
          transformRunning_ = false;
          done(std::move(*result));
        });
      });
  return true;
}

}  // namespace vl::app
