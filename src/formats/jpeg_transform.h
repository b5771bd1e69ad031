// Lossless JPEG transformation: quarter turns and flips of a JPEG file done on its DCT
// coefficient blocks (TurboJPEG's tjTransform), so no quality is lost, with every extra
// marker (EXIF, comments, ...) copied to the output.
#pragma once

#include <functional>
#include <string>

namespace vl::formats {

// Coded arguments of JpegTransform.
inline constexpr int kTransformCopyComments = 2;
inline constexpr int kTransformCopyAll = 3;
inline constexpr int kTransformNone = 4;
inline constexpr int kTransformFlipHorizontal = 5;
inline constexpr int kTransformFlipVertical = 6;
inline constexpr int kTransformRotate90 = 8;
inline constexpr int kTransformRotate180 = 9;
inline constexpr int kTransformRotate270 = 10;

// Transforms source into destination. flip is 5 (horizontal), 6 (vertical) or 4 (none);
// rotate is 8 (90), 9 (180), 10 (270) or 4 (none); when both are given the flip is kept
// and "new:%d, was:%d\n" is printed. trim drops the partial edge MCUs that cannot move.
// Every marker of the source is copied whatever copyOption says. The destination is
// written only when the whole transformation succeeded (an existing file is replaced in
// one rename), so destination may name the source itself.
// 0 on success; 1 when the codec stopped with an error or issued any warning, or a file
// could not be opened; the reason is then in GetTransformError().
int JpegTransform(const char* source, const char* destination, int copyOption, bool optimize, bool greyscale, int flip,
                  int rotate, bool trim);

// The text of the last error of JpegTransform on the calling thread.
std::string GetTransformError();

// True when both names lead to the same existing file (or are the same text).
bool SameFile(const std::string& a, const std::string& b);

// The choices of the "Transformation" radio group, in its order.
enum class JpegTransformation { kNone, kRotate90, kRotate180, kRotate270, kFlipHorizontal, kFlipVertical };

// The temporary name used when a file is transformed in place: the path with ".VLTemp".
inline constexpr const char* kTransformTempSuffix = ".VLTemp";

// What the "_Execute" button does: transforms source into output; when output names the
// source file, into source + ".VLTemp", which then replaces the source. kNone does nothing
// and succeeds. replacing, when set, is called with false right before the source is
// replaced and with true right after. On failure no temporary file is left, the source is
// untouched, errorText gets the codec's message and false is returned.
bool ExecuteJpegTransform(const std::string& source, const std::string& output, JpegTransformation transformation,
                          bool trim, const std::function<void(bool)>& replacing, std::string& errorText);

}  // namespace vl::formats
