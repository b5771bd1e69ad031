// Saving the current picture as JPEG, PNG or IFF: the formats of the save window, the
// options its two options windows hold, the suggested file name and the save itself with
// an error text that says which file failed and why.
#pragma once

#include <string>

#include "formats/picture_metadata.h"
#include "image/chunky.h"

namespace vl::app {

class Controller;

// The save window's format list, in list order.
enum class SaveFormat : int { kJpeg = 0, kPng = 1, kIff = 2 };
inline constexpr int kSaveFormatCount = 3;

// "JPEG", "PNG", "IFF".
const char* SaveFormatName(SaveFormat format);
// The suffix of the suggested name: "jpg", "png", "iff".
const char* SaveFormatSuffix(SaveFormat format);
// The title of the file requester of "Save _As...": "Save " and the format name.
std::string SaveAsTitle(SaveFormat format);
// A list position as a format; positions outside 0..2 give JPEG.
SaveFormat SaveFormatAt(int position);

inline constexpr int kJpegQualityMin = 5;
inline constexpr int kJpegQualityMax = 100;
inline constexpr int kJpegQualityDefault = 95;

struct JpegSaveOptions {
  int quality = kJpegQualityDefault;  // kJpegQualityMin..kJpegQualityMax
  bool optimize = false;
  bool noSubsampling = false;
};

struct PngSaveOptions {
  bool withAlpha = false;
};

struct SaveOptions {
  JpegSaveOptions jpeg;
  PngSaveOptions png;
};

// With replaceSuffix on, path with its suffix replaced by the format's (ReplaceSuffix);
// otherwise path unchanged.
std::string SuggestedName(const std::string& path, SaveFormat format, bool replaceSuffix);

// The longest path the file requester starts from.
inline constexpr size_t kMaxSavePath = 1023;
// Where the file requester starts: path with its assign resolved, cut to kMaxSavePath bytes.
std::string SaveAsStartPath(const std::string& path);

struct SaveResult {
  bool ok = false;
  std::string error;  // why not, when !ok: names the file and the reason
};

// Writes image to path (assigns such as "T:" resolved) in the format with its options.
// The savers write a temporary file next to the target and rename it over the target at
// the end, so a failed save leaves an earlier file of that name as it was. A writable file in
// a directory that takes no new names is encoded whole in memory and then overwritten in
// place (platform/safe_file.h says what risk remains). JPEG keeps the metadata's EXIF block
// and ICC profile, PNG the ICC profile, IFF neither.
SaveResult SavePicture(const image::ChunkyImage* image, const std::string& path, SaveFormat format,
                       const SaveOptions& options, const formats::SaveMetadata& metadata = {});
// The controller's current picture, with the metadata it carries; an error without one.
SaveResult SaveCurrentPicture(Controller& controller, const std::string& path, SaveFormat format,
                              const SaveOptions& options);

// Why a save to the resolved path target failed, as the system's error text: probes the
// target's directory (a missing or read-only directory, a full disk) and falls back to
// savedErrno, the errno the saver left. Empty when no reason can be found.
std::string SaveFailureReason(const std::string& target, int savedErrno);

}  // namespace vl::app
