// The EXIF block parser on its own: the input is an APP1 section from its length field.
#include <mutex>

#include "formats/exif.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::lock_guard<std::recursive_mutex> lock(vl::formats::ExifLock());
  vl::formats::DiscardData();
  vl::formats::ProcessExif(data, size);
  vl::formats::ExifInfo info = vl::formats::CurrentExifInfo();
  vl::fuzz::Require(info.cameraMake.size() <= 31 && info.cameraModel.size() <= 39 && info.dateTime.size() <= 19,
                    "EXIF texts within their fields");
  vl::fuzz::Require(info.userComment.size() <= 199 && info.comment.size() <= 199, "comments within their fields");
  vl::fuzz::Require(info.numDateTimeTags >= 0 && info.numDateTimeTags <= vl::formats::kMaxDateFields,
                    "date offsets within their table");
  vl::fuzz::Require(info.orientation >= 0 && info.orientation <= 8, "orientation 0-8");
  (void)vl::formats::OrientationName(info.orientation);
  auto lines = vl::formats::ExifWindowLines(info, "fuzz.jpg", (size & 1) != 0);
  vl::formats::DiscardData();
  return 0;
}
