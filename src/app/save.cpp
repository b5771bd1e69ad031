#include "app/save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/controller.h"
#include "formats/ilbm_writer.h"
#include "formats/jpeg_codec.h"
#include "formats/path_parts.h"
#include "formats/png_writer.h"
#include "platform/paths.h"

namespace vl::app {

namespace {

struct FormatInfo {
  const char* name;
  const char* suffix;
};
constexpr FormatInfo kFormats[kSaveFormatCount] = {{"JPEG", "jpg"}, {"PNG", "png"}, {"IFF", "iff"}};

const FormatInfo& Info(SaveFormat format) {
  const int i = static_cast<int>(format);
  return kFormats[i >= 0 && i < kSaveFormatCount ? i : 0];
}

// libjpeg's limit on either side.
constexpr int kJpegMaxSide = 65500;

// Errors a saver's file calls can leave that describe the file system; anything else
// (ENOTTY from a first write to a redirected stdout, for one) says nothing about the save.
bool IsFileError(int e) {
  switch (e) {
    case ENOSPC:
    case EDQUOT:
    case EIO:
    case EFBIG:
    case EROFS:
    case EACCES:
    case EPERM:
    case ENAMETOOLONG:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case EXDEV:
    case EBUSY:
    case ETXTBSY:
    case ENOMEM:
    case EMFILE:
    case ENFILE: return true;
    default: return false;
  }
}

SaveResult Failure(const std::string& path, const std::string& target, const std::string& reason) {
  std::string named = "\"" + path + "\"";
  if (target != path) named += " (" + target + ")";
  return {false, "Could not save " + named + ":\n" + reason};
}

}  // namespace

const char* SaveFormatName(SaveFormat format) {
  return Info(format).name;
}

const char* SaveFormatSuffix(SaveFormat format) {
  return Info(format).suffix;
}

std::string SaveAsTitle(SaveFormat format) {
  return std::string("Save ") + SaveFormatName(format);
}

SaveFormat SaveFormatAt(int position) {
  return position >= 0 && position < kSaveFormatCount ? static_cast<SaveFormat>(position) : SaveFormat::kJpeg;
}

std::string SuggestedName(const std::string& path, SaveFormat format, bool replaceSuffix) {
  if (!replaceSuffix) return path;
  // Only the file name's suffix: a dot in a directory name is not a suffix.
  const std::string dir = formats::DirPart(path.c_str());
  const std::string name = path.substr(dir.size());
  return dir + formats::ReplaceSuffix(name.c_str(), SaveFormatSuffix(format));
}

std::string SaveAsStartPath(const std::string& path) {
  std::string start = platform::ResolvePath(path);
  if (start.size() > kMaxSavePath) start.resize(kMaxSavePath);
  return start;
}

namespace {

bool WritableInPlace(const std::string& target) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

}  // namespace

std::string SaveFailureReason(const std::string& target, int savedErrno) {
  if (target.empty()) return std::strerror(ENOENT);
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  // Create and remove a file beside the target, as the savers begin: this meets a missing
  // or read-only directory, a name too long or a file system out of inodes.
  std::string probe = target + ".XXXXXX";
  std::vector<char> buf(probe.begin(), probe.end());
  buf.push_back('\0');
  const int fd = ::mkstemp(buf.data());
  if (fd >= 0) {
    ::close(fd);
    ::unlink(buf.data());
  } else {
    // A writable file in a directory that takes no new names is overwritten in place: the
    // directory is not what failed then.
    const int dirError = errno;
    if ((dirError != EACCES && dirError != EPERM) || !WritableInPlace(target)) return std::strerror(dirError);
  }
  if (IsFileError(savedErrno)) return std::strerror(savedErrno);
  std::string dir = formats::DirPart(target.c_str());
  if (dir.empty()) dir = ".";
  struct statvfs vfs;
  if (::statvfs(dir.c_str(), &vfs) == 0 && vfs.f_bavail == 0) return std::strerror(ENOSPC);
  return std::string();
}

SaveResult SavePicture(const image::ChunkyImage* image, const std::string& path, SaveFormat format,
                       const SaveOptions& options, const formats::SaveMetadata& metadata) {
  if (!image || !image->pixels) return {false, "There is no picture to save."};
  if (path.empty()) return {false, "No file name given to save the picture to."};
  const std::string target = platform::ResolvePath(path);
  if (format == SaveFormat::kIff && (image->width > formats::kIlbmMaxSide || image->height > formats::kIlbmMaxSide))
    return Failure(path, target, "IFF pictures can be at most 65535 pixels wide and high");
  if (format == SaveFormat::kJpeg && (image->width > kJpegMaxSide || image->height > kJpegMaxSide))
    return Failure(path, target, "JPEG pictures can be at most 65500 pixels wide and high");

  errno = 0;
  int ok = 0;
  switch (format) {
    case SaveFormat::kJpeg: {
      const int quality = std::clamp(options.jpeg.quality, kJpegQualityMin, kJpegQualityMax);
      ok = formats::SaveJPEG(image, target.c_str(), quality, options.jpeg.optimize, options.jpeg.noSubsampling,
                             metadata);
      break;
    }
    case SaveFormat::kPng: ok = formats::SavePNG(image, target.c_str(), options.png.withAlpha, metadata); break;
    case SaveFormat::kIff: ok = formats::SaveILBM(image, target.c_str()); break;
  }
  if (ok) return {true, std::string()};
  const int saved = errno;
  std::string reason = SaveFailureReason(target, saved);
  if (reason.empty()) reason = "the file could not be written";
  return Failure(path, target, reason);
}

SaveResult SaveCurrentPicture(Controller& controller, const std::string& path, SaveFormat format,
                              const SaveOptions& options) {
  controller.FinishFullPicture();  // a stand-in is not what the file holds
  const image::Texture* t = controller.currentImage();
  return SavePicture(t ? t->chunky : nullptr, path, format, options, formats::MetadataOf(t));
}

}  // namespace vl::app
