// The "JPEG Transformations" window's work: where the result goes, the small preview of the
// picture turned as the file will be, and the lossless transformation itself, run on worker
// threads that report to the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "formats/jpeg_transform.h"
#include "image/chunky.h"
#include "platform/main_thread_queue.h"

namespace vl::app {

// The file the window transforms: the current picture's path made absolute (assigns resolved,
// a relative name joined to the working directory). Empty for an empty path.
std::string TransformSourcePath(const std::string& currentPath);

// True when the file at path is identified as a JPEG (its type name is "JPEG").
bool IsJpegPicture(const std::string& path);

// Where the output field's text sends the result of transforming source (an absolute path).
struct TransformOutput {
  bool ok = false;
  std::string path;   // the file to write, when ok
  std::string error;  // the reason, when not ok
};
// An assign name is resolved; a relative name is taken in the source's directory; an existing
// directory receives a file of the source's name. An empty text, a name of more than 1023
// characters or one holding a NUL is refused.
TransformOutput ResolveTransformOutput(const std::string& source, const std::string& text);

// A width and height.
struct Size2 {
  int width = 0;
  int height = 0;
  bool operator==(const Size2&) const = default;
};
// The size of w x h fitted into box (aspect kept, never enlarged, at least 1 x 1); 0 x 0 for
// an empty picture or box.
Size2 FitIntoBox(int w, int h, int boxWidth, int boxHeight);
// The picture's size after the transformation (the quarter turns swap the sides).
Size2 TransformedSize(int w, int h, formats::JpegTransformation t);

// A copy of picture scaled to fit into box (ARGB32 or another 4-byte format); null on failure.
image::ChunkyImage* ScalePreview(const image::ChunkyImage* picture, int boxWidth, int boxHeight);
// A new copy of preview turned or flipped as the transformation turns the file; null on failure.
image::ChunkyImage* TransformPreview(const image::ChunkyImage* preview, formats::JpegTransformation t);

struct JpegTransformResult {
  bool ok = false;
  bool changed = false;  // a file was written (not for "None")
  std::string output;    // the file written
  std::string error;     // the codec's message on failure
};
// Transforms source into output (the file itself when output names it: through a temporary
// file renamed over it, so a failure leaves the source as it was).
JpegTransformResult RunJpegTransform(const std::string& source, const std::string& output,
                                     formats::JpegTransformation t, bool trim);

// Asked before the picture is read again from its transformed file when it has edits the file
// does not hold (an undo step exists); the first button reads the file.
inline constexpr const char* kReloadEditedQuestion =
    "The picture has changes that are not saved.\nShow the transformed file instead and lose them?";
inline constexpr const char* kReloadEditedButtons = "_Show the file|_Keep the picture";

// Runs the window's long work on worker threads: the preview's scaling and the transformation,
// at most one of each at a time. Results reach the caller through the main-thread queue, and
// only while the jobs object exists: destroyed during a job, it waits for the worker and drops
// the result.
class JpegTransformJobs {
 public:
  using PreviewDone = std::function<void(image::ChunkyPtr preview)>;
  using TransformDone = std::function<void(JpegTransformResult result)>;

  // queue outlives the jobs object.
  explicit JpegTransformJobs(platform::MainThreadQueue& queue);
  ~JpegTransformJobs();
  JpegTransformJobs(const JpegTransformJobs&) = delete;
  JpegTransformJobs& operator=(const JpegTransformJobs&) = delete;

  // Scales a copy of picture (the caller may change or free it at once) to fit into the box.
  // False, and nothing started, while a preview is being made, without a picture or when the
  // copy fails.
  bool StartPreview(const image::ChunkyImage* picture, int boxWidth, int boxHeight, PreviewDone done);
  // Transforms source into output. False while a transformation runs.
  bool StartTransform(const std::string& source, const std::string& output, formats::JpegTransformation t, bool trim,
                      TransformDone done);

  bool previewRunning() const { return previewRunning_; }
  bool transformRunning() const { return transformRunning_; }

 private:
  struct Token {
    bool alive = true;
  };

  platform::MainThreadQueue& queue_;
  std::shared_ptr<Token> token_;
  std::thread previewWorker_;
  std::thread transformWorker_;
  bool previewRunning_ = false;
  bool transformRunning_ = false;
};

}  // namespace vl::app
