// The colour picker's texts: a picked 0xAARRGGBB colour in one of the three formats, and
// the zoom text of the information panel.
#pragma once

#include <cstdint>
#include <string>

namespace vl::app {

enum PickerFormat : int {
  kPickerDecimal = 1,  // "%03d,%03d,%03d,%03d" with R, G, B, A
  kPickerHex = 2,      // "0x%02x%02x%02x%02x" with R, G, B, A
  kPickerHtml = 3,     // "#%02x%02x%02x" with R, G, B
};

// Formats 1 to 3; any other number gives the default format 1.
std::string FormatPickedColor(uint32_t argb, int format);

// The zoom text "%ld%%" for a 16.16 fixed-point scale (rounded to a whole
// percent, so that a zoom of 1.1 reads 110% although its fixed-point value is a little less).
std::string FormatZoomText(int32_t scaleFixed);

}  // namespace vl::app
