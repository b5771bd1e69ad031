// The EXIF block parser on its own: the input is an APP1 section from its length field.
#include <mutex>
#include <vector>

#include "formats/exif.h"
#include "formats/picture_metadata.h"
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

  // The same block made ready for a save of a picture turned upright: either refused, or of the
  // same size and read back with no orientation other than 1.
  if (size >= 2) {
    const std::vector<uint8_t> block(data + 2, data + size);
    const std::vector<uint8_t> saved = vl::formats::ExifBlockForSave(block, true);
    vl::fuzz::Require(saved.empty() || saved.size() == block.size(), "a saved block keeps its size");
    if (!saved.empty()) {
      std::vector<uint8_t> section(data, data + 2);
      section.insert(section.end(), saved.begin(), saved.end());
      vl::formats::ProcessExif(section.data(), section.size());
      const int o = vl::formats::CurrentExifInfo().orientation;
      vl::fuzz::Require(o == 0 || o == 1, "a saved block reads orientation 1");
      vl::formats::DiscardData();
    }
  }
  return 0;
}
