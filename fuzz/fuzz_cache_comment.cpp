// The thumbnail cache's comment parser, and the mount table reader it names devices with.
//
// Input: one selector byte, then the text. Even selectors parse the text as a comment and
// check that formatting what was parsed reads back to the same fields; odd ones read the
// text as a mountinfo table.
#include <string>

#include "fuzz_util.h"
#include "thumbs/cache.h"

namespace {

bool SameFields(const vl::thumbs::CacheComment& a, const vl::thumbs::CacheComment& b) {
  return a.compression == b.compression && a.sourceSize == b.sourceSize && a.date.days == b.date.days &&
         a.date.minutes == b.date.minutes && a.date.ticks == b.date.ticks && a.boxWidth == b.boxWidth &&
         a.boxHeight == b.boxHeight && a.sourceWidth == b.sourceWidth && a.sourceHeight == b.sourceHeight;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    dev_t dev = static_cast<dev_t>(data[0] >> 1);
    std::string name = vl::thumbs::MountDeviceName(text, dev, "/home/user/pictures/a.jpg");
    vl::fuzz::Require(name.size() <= text.size(), "a device name comes out of the table");
    return 0;
  }
  vl::thumbs::CacheComment first;
  if (!vl::thumbs::ParseCacheComment(text, first)) return 0;
  std::string formatted = vl::thumbs::FormatCacheComment(first);
  vl::thumbs::CacheComment second;
  vl::fuzz::Require(vl::thumbs::ParseCacheComment(formatted, second), "a formatted comment parses");
  vl::fuzz::Require(SameFields(first, second), "the numbers survive formatting");
  vl::fuzz::Require(vl::thumbs::FormatCacheComment(second) == formatted, "formatting is stable");
  return 0;
}
