#include "tools/job_setup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <system_error>

#include "formats/loader.h"
#include "platform/paths.h"
#include "tools/thumbnailer.h"

namespace vl::tools {
namespace {

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// A path the system calls can take whole: no NUL inside, not longer than a path may be.
bool Usable(const std::string& path) {
  return path.find('\0') == std::string::npos && path.size() < PATH_MAX;
}

bool Stat(const std::string& path, struct stat& st) {
  return Usable(path) && ::stat(path.c_str(), &st) == 0;
}

// The message for a directory that must exist and be listed; empty when it can be.
std::string CheckReadableDirectory(const std::string& path, const std::string& what) {
  struct stat st;
  if (!Usable(path)) return "The " + what + " is not a usable path.";
  if (!Stat(path, st)) return "The " + what + " " + Quoted(path) + " does not exist.";
  if (!S_ISDIR(st.st_mode)) return "The " + what + " " + Quoted(path) + " is not a directory.";
  if (::faccessat(AT_FDCWD, path.c_str(), R_OK | X_OK, AT_EACCESS) != 0)
    return "The directory " + Quoted(path) + " cannot be read.";
  return {};
}

// The nearest directory above a missing path that does exist ("." for a relative path
// with no existing part); empty when something on the way exists but is no directory.
std::string ExistingAncestor(std::string path, std::string& blocker) {
  while (!path.empty() && path.back() == '/' && path.size() > 1) path.pop_back();
  for (;;) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    path.resize(slash == 0 ? 1 : slash);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st;
    if (Stat(path, st)) {
      if (S_ISDIR(st.st_mode)) return path;
      blocker = path;
      return {};
    }
    if (path == "/") return path;
  }
}

}  // namespace

std::string CheckBatchPaths(const std::string& source, const std::string& dest) {
  if (source.empty()) return "Please give a source path.";
  if (dest.empty()) return "Please give a destination path.";
  std::string error = CheckReadableDirectory(source, "source path");
  if (!error.empty()) return error;
  if (!Usable(dest)) return "The destination path is not a usable path.";

  struct stat src, dst;
  Stat(source, src);
  if (Stat(dest, dst)) {
    if (!S_ISDIR(dst.st_mode)) return "The destination path " + Quoted(dest) + " is not a directory.";
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
      return "The source and the destination are the same directory: the converted files would replace the "
             "pictures. Please choose another destination.";
    if (::faccessat(AT_FDCWD, dest.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
      return "The destination directory " + Quoted(dest) + " cannot be written.";
    return {};
  }
  // Missing: it is created level by level, below the nearest directory that exists.
  std::string blocker;
  const std::string ancestor = ExistingAncestor(dest, blocker);
  if (ancestor.empty())
    return "The destination directory " + Quoted(dest) + " cannot be created: " + Quoted(blocker) +
           " is not a directory.";
  if (::faccessat(AT_FDCWD, ancestor.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "The destination directory " + Quoted(dest) + " cannot be created: " + Quoted(ancestor) +
           " cannot be written.";
  return {};
}

std::string CheckThumbnailerPath(const std::string& path) {
  if (path.empty()) return "Please give the path of a directory.";
  std::string error = CheckReadableDirectory(path, "path");
  if (!error.empty()) return error;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "The directory " + Quoted(path) + " cannot be written: the thumbnails could not be saved there.";
  return {};
}

std::string CheckThumbnailSuffix(const std::string& suffix) {
  if (suffix.empty()) return kNoSuffixText;
  if (suffix.find('/') != std::string::npos || suffix.find('\0') != std::string::npos)
    return "The suffix must not contain \"/\": the thumbnails are written beside their pictures.";
  return {};
}

image::TexturePtr LoadTemplateImage(const std::string& path, std::string& error) {
  error.clear();
  if (path.empty()) {
    error = "Please choose a template image.";
    return nullptr;
  }
  image::TexturePtr picture;
  if (Usable(path)) picture.reset(formats::ReadPicture(path.c_str()));
  if (!picture || !picture->chunky) {
    error = "The template image " + Quoted(path) + " is not a picture that can be read.";
    return nullptr;
  }
  return picture;
}

std::string TemplateDirectory() {
  return platform::ResolveForRead("PROGDIR:icon_templates/");
}

image::TexturePtr LoadExampleImage() {
  const std::string sample = platform::ResolveForRead("PROGDIR:samples/testcard.png");
  image::TexturePtr picture(formats::ReadPicture(sample.c_str()));
  if (picture && picture->chunky) return picture;
  // Colour ramps across, brightness down.
  constexpr int kWidth = 160, kHeight = 120;
  picture.reset(image::CreateTexture(kWidth, kHeight, image::ARGB32));
  if (!picture || !picture->chunky) return picture;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      image::SetPixel(picture->chunky, x, y, 255, static_cast<uint8_t>(x * 255 / (kWidth - 1)),
                      static_cast<uint8_t>(y * 255 / (kHeight - 1)),
                      static_cast<uint8_t>(255 - x * 255 / (kWidth - 1)));
  picture->name = "Example";
  return picture;
}

image::ChunkyPtr ToARGB32(const image::ChunkyImage* picture) {
  if (!picture || !picture->pixels) return nullptr;
  image::ChunkyPtr copy(image::chk_Create(picture->width, picture->height, image::ARGB32, false));
  if (!copy) return nullptr;
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < picture->width; ++x) {
      uint8_t a = 255, r = 0, g = 0, b = 0;
      image::GetPixel(picture, x, y, a, r, g, b);
      image::SetPixel(copy.get(), x, y, a, r, g, b);
    }
  return copy;
}

image::ChunkyPtr MakeExampleThumbnail(const image::Texture* example, const image::Texture* templateImage, int32_t width,
                                      int32_t height, int32_t offsetX, int32_t offsetY, bool preserveAspect) {
  if (!example || !example->chunky || width < 1 || height < 1) return nullptr;
  image::ChunkyImage* thumb = MakeTemplateThumbnail(example->chunky, templateImage ? templateImage->chunky : nullptr,
                                                    width, height, offsetX, offsetY, false, preserveAspect);
  if (!thumb) return nullptr;
  if (thumb == example->chunky) return ToARGB32(thumb);
  image::ChunkyPtr owned(thumb);
  if (owned->format == image::ARGB32) return owned;
  return ToARGB32(owned.get());
}

bool BackgroundStop::Start(std::function<void()> stop) {
  if (active() || !stop) return false;
  try {
    thread_ = std::thread(stop);
  } catch (const std::system_error&) {
    stop();
  }
  return true;
}

void BackgroundStop::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace vl::tools
