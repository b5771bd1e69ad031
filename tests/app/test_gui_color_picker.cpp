// The colour picker's three text formats and the zoom text.
#include <gtest/gtest.h>

#include "app/color_picker.h"

namespace vl::app {
namespace {

TEST(ColorPicker, ThreeFormats) {
  const uint32_t c = 0xFF102030;  // A 255, R 16, G 32, B 48
  EXPECT_EQ(FormatPickedColor(c, kPickerDecimal), "016,032,048,255");
  EXPECT_EQ(FormatPickedColor(c, kPickerHex), "0x102030ff");
  EXPECT_EQ(FormatPickedColor(c, kPickerHtml), "#102030");
  EXPECT_EQ(FormatPickedColor(0xFFFF0000, kPickerDecimal), "255,000,000,255");
  EXPECT_EQ(FormatPickedColor(0xFFFF0000, kPickerHex), "0xff0000ff");
  EXPECT_EQ(FormatPickedColor(0x80000001, kPickerHex), "0x00000180") << "alpha goes last";
  EXPECT_EQ(FormatPickedColor(0x00000000, kPickerDecimal), "000,000,000,000");
  EXPECT_EQ(FormatPickedColor(c, 0), "016,032,048,255") << "unknown formats fall back to the default";
  EXPECT_EQ(FormatPickedColor(c, 7), "016,032,048,255");
}

TEST(ColorPicker, ZoomTextRoundsToWholePercent) {
  EXPECT_EQ(FormatZoomText(65536), "100%");
  EXPECT_EQ(FormatZoomText(4 * 65536), "400%");
  EXPECT_EQ(FormatZoomText(static_cast<int32_t>(1.1f * 65536)), "110%") << "72089 is 109.99...%";
  EXPECT_EQ(FormatZoomText(static_cast<int32_t>(0.994f * 65536)), "99%");
  EXPECT_EQ(FormatZoomText(static_cast<int32_t>(0.996f * 65536)), "100%");
  EXPECT_EQ(FormatZoomText(50 * 65536), "5000%") << "no overflow at the largest scale";
  EXPECT_EQ(FormatZoomText(0), "0%");
}

}  // namespace
}  // namespace vl::app
