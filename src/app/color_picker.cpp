#include "app/color_picker.h"

#include <cstdio>

namespace vl::app {

std::string FormatPickedColor(uint32_t argb, int format) {
  const unsigned a = (argb >> 24) & 0xFF, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  char buf[32];
  switch (format) {
    case kPickerHex: std::snprintf(buf, sizeof buf, "0x%02x%02x%02x%02x", r, g, b, a); break;
    case kPickerHtml: std::snprintf(buf, sizeof buf, "#%02x%02x%02x", r, g, b); break;
    default:
      std::snprintf(buf, sizeof buf, "%03d,%03d,%03d,%03d", static_cast<int>(r), static_cast<int>(g),
                    static_cast<int>(b), static_cast<int>(a));
      break;
  }
  return buf;
}

std::string FormatZoomText(int32_t scaleFixed) {
  char buf[32];
  const long percent = static_cast<long>((static_cast<int64_t>(scaleFixed) * 100 + 32768) / 65536);
  std::snprintf(buf, sizeof buf, "%ld%%", percent);
  return buf;
}

}  // namespace vl::app
