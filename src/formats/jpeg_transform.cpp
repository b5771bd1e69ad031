#include "formats/jpeg_transform.h"

#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "formats/file_read.h"
#include "image/chunky.h"
#include "platform/safe_file.h"

namespace vl::formats {
namespace {

// The reason the last JpegTransform() on this thread failed: transforms on different
// threads each keep their own.
thread_local std::string tError;

void SetError(const std::string& text) {
  tError = text;
}

std::string Format(const char* format, const char* name) {
  int n = std::snprintf(nullptr, 0, format, name);
  if (n <= 0) return format;
  std::string s(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), format, name);
  s.resize(static_cast<size_t>(n));
  return s;
}

// Largest source file taken into memory.
constexpr uint64_t kMaxSourceBytes = static_cast<uint64_t>(image::kMaxBufferBytes);

int FlipOperation(int code) {
  switch (code) {
    case kTransformFlipHorizontal: return TJXOP_HFLIP;
    case kTransformFlipVertical: return TJXOP_VFLIP;
    default: return -1;
  }
}

int RotateOperation(int code) {
  switch (code) {
    case kTransformRotate90: return TJXOP_ROT90;
    case kTransformRotate180: return TJXOP_ROT180;
    case kTransformRotate270: return TJXOP_ROT270;
    default: return -1;
  }
}

struct TjHandle {
  tjhandle h = nullptr;
  ~TjHandle() {
    if (h) tjDestroy(h);
  }
};

struct TjBuffer {
  unsigned char* p = nullptr;
  ~TjBuffer() {
    if (p) tjFree(p);
  }
};

}  // namespace

std::string GetTransformError() {
  return tError;
}

int JpegTransform(const char* source, const char* destination, int copyOption, bool optimize, bool greyscale, int flip,
                  int rotate, bool trim) {
  // Every extra marker reaches the output whatever was asked for; TurboJPEG copies them all
  // unless told otherwise. It has no switch for optimised Huffman tables in this version.
  (void)copyOption;
  (void)optimize;
  SetError("");

  int operation = TJXOP_NONE;
  int chosen = kTransformNone;
  const int codes[2] = {flip, rotate};
  for (int i = 0; i < 2; ++i) {
    const int code = codes[i];
    const int op = i == 0 ? FlipOperation(code) : RotateOperation(code);
    if (op < 0) continue;
    if (chosen != kTransformNone && chosen != code) {
      std::printf("new:%d, was:%d\n", code, chosen);
      continue;
    }
    chosen = code;
    operation = op;
  }

  if (!source || !destination) return 1;
  FileBytes input;
  if (!ReadWholeFile(source, input, kMaxSourceBytes) || input.empty()) {
    SetError(Format("Can't open file %s for reading.\n", source));
    return 1;
  }
  platform::SafeFile out(destination);
  if (!out.file()) {
    SetError(Format("Can't open file %s for writing.\n", destination));
    std::printf("can't open %s\n", destination);
    return 1;
  }

  TjHandle tj;
  tj.h = tjInitTransform();
  if (!tj.h) {
    SetError(tjGetErrorStr2(nullptr));
    return 1;
  }
  // The header first: refuse pictures beyond the project's size limit before the codec
  // allocates the coefficient arrays for them.
  int width = 0, height = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.h, input.data(), static_cast<unsigned long>(input.size()), &width, &height, &subsamp,
                          &colorspace) != 0) {
    SetError(tjGetErrorStr2(tj.h));
    return 1;
  }
  if (!image::SizeAllowed(width, height, image::ARGB32)) {
    SetError("Image too large\n");
    return 1;
  }

  tjtransform xform{};
  xform.op = operation;
  xform.options = 0;
  if (trim) xform.options |= TJXOPT_TRIM;
  if (greyscale) xform.options |= TJXOPT_GRAY;
  TjBuffer output;
  unsigned long outputSize = 0;
  // Warnings count as failures: the codec's message is kept either way.
  int rc = tjTransform(tj.h, input.data(), static_cast<unsigned long>(input.size()), 1, &output.p, &outputSize, &xform,
                       TJFLAG_LIMITSCANS);
  if (rc != 0 || !output.p || outputSize == 0) {
    const char* msg = tjGetErrorStr2(tj.h);
    SetError(msg && *msg ? msg : "Transformation failed\n");
    return 1;
  }
  if (std::fwrite(output.p, 1, outputSize, out.file()) != outputSize || !out.Commit()) {
    SetError(Format("Can't write file %s.\n", destination));
    return 1;
  }
  return 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ExecuteJpegTransform(const std::string& source, const std::string& output, JpegTransformation transformation,
                          bool trim, const std::function<void(bool)>& replacing, std::string& errorText) {
  errorText.clear();
  int flip = kTransformNone, rotate = kTransformNone;
  switch (transformation) {
    case JpegTransformation::kNone: return true;
    case JpegTransformation::kRotate90: rotate = kTransformRotate90; break;
    case JpegTransformation::kRotate180: rotate = kTransformRotate180; break;
    case JpegTransformation::kRotate270: rotate = kTransformRotate270; break;
    case JpegTransformation::kFlipHorizontal: flip = kTransformFlipHorizontal; break;
    case JpegTransformation::kFlipVertical: flip = kTransformFlipVertical; break;
  }
  const bool inPlace = SameFile(source, output);
  const std::string target = inPlace ? source + kTransformTempSuffix : output;

  if (JpegTransform(source.c_str(), target.c_str(), kTransformCopyAll, true, false, flip, rotate, trim) != 0) {
    errorText = GetTransformError();
    if (inPlace) ::unlink(target.c_str());
    return false;
  }
  if (!inPlace) return true;

  struct stat st;
  if (::stat(source.c_str(), &st) != 0 || st.st_size <= 0) {
    errorText = Format("Can't open file %s for reading.\n", source.c_str());
    ::unlink(target.c_str());
    return false;
  }
  // The new file takes over the old one's permissions, then replaces it in one rename, so
  // the source is never missing.
  ::chmod(target.c_str(), st.st_mode & 07777);
  if (replacing) replacing(false);
  bool renamed = ::rename(target.c_str(), source.c_str()) == 0;
  if (!renamed) {
    errorText = Format("Can't write file %s.\n", source.c_str());
    ::unlink(target.c_str());
  }
  if (replacing) replacing(true);
  return renamed;
}

}  // namespace vl::formats
