// What the batch tools' windows (and the command line) check and prepare before a job
// starts: the directories, the suffix, the template image, and the example pictures the
// thumbnailer window shows; and a way to end a job without waiting for it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "image/chunky.h"

namespace vl::tools {

// Empty when the batch converter can read source and write into dest (dest may be
// missing as long as it can be created); otherwise the message for the user. The source
// and the destination must be different directories: a picture converted into its own
// directory would be replaced by its JPEG version under the same name.
std::string CheckBatchPaths(const std::string& source, const std::string& dest);

// Empty when the thumbnailer can walk path and write beside its pictures.
std::string CheckThumbnailerPath(const std::string& path);

// The text of the "Error!" requester for an empty suffix.
inline constexpr const char* kNoSuffixText = "You need to specify file suffix!\n";

// Empty when suffix can be appended to a picture's name: not empty (kNoSuffixText) and
// without a "/" (which would put the thumbnail into another directory) or a NUL.
std::string CheckThumbnailSuffix(const std::string& suffix);

// Reads the template image; null with the message in error when path names no picture.
image::TexturePtr LoadTemplateImage(const std::string& path, std::string& error);

// Where the template requester starts.
std::string TemplateDirectory();

// The picture the thumbnailer window demonstrates its settings on: the shipped sample, or
// a drawn colour test when the sample cannot be read. Never null.
image::TexturePtr LoadExampleImage();

// The example's thumbnail with the window's settings (templateImage may be null), as
// ARGB32; null when it cannot be made. example is not changed.
image::ChunkyPtr MakeExampleThumbnail(const image::Texture* example, const image::Texture* templateImage, int32_t width,
                                      int32_t height, int32_t offsetX, int32_t offsetY, bool preserveAspect);

// An ARGB32 copy of any picture, for showing it; null when it cannot be made.
image::ChunkyPtr ToARGB32(const image::ChunkyImage* picture);

// Runs the stopping of a job (a Stop...(job) call, which waits for the job) on a thread of
// its own, so the caller can go on while the job finishes the file it is on.
class BackgroundStop {
 public:
  BackgroundStop() = default;
  ~BackgroundStop() { Wait(); }
  BackgroundStop(const BackgroundStop&) = delete;
  BackgroundStop& operator=(const BackgroundStop&) = delete;

  // Starts stop; when no thread can be had, stop runs here and now. False (nothing done)
  // while an earlier stop is still in progress.
  bool Start(std::function<void()> stop);
  bool active() const { return thread_.joinable(); }
  // Returns once the stop has returned.
  void Wait();

 private:
  std::thread thread_;
};

}  // namespace vl::tools
