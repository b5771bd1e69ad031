#include <gtest/gtest.h>

#include <cmath>

#include "filters/sharpen.h"
#include "filters_test_util.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::MakeGreyRow;
using test::MakeImage;
using test::Pixel;

class SharpenTest : public test::PoolTest {};

TEST_F(SharpenTest, StrengthZeroReturnsTheSource) {
  auto source = test::Random(12, 9, 4);
  auto out = test::Blank(source.get());
  ASSERT_TRUE(Sharpen(source.get(), out.get(), 3, 0.0));
  EXPECT_EQ(Bytes(out.get()), Bytes(source.get()));
}

TEST_F(SharpenTest, UniformImageStaysUniformAtEveryToolStrength) {
  // The box blur of a flat image may come out up to two levels low (the 65536 / count
  // reciprocal truncates once per pass); with k <= 100, (2 * k) >> 8 is 0.
  auto flat = test::MakeFilled(120, 5, Pixel{255, 17, 200, 3});
  auto out = test::Blank(flat.get());
  for (int mask : {1, 2, 7, 50})
    for (int slider = 0; slider <= 100; slider += 5) {
      ASSERT_TRUE(Sharpen(flat.get(), out.get(), mask, slider / 255.0));
      ASSERT_EQ(Bytes(out.get()), Bytes(flat.get())) << mask << " " << slider;
    }
}

TEST_F(SharpenTest, OvershootIsClampedAndNegativeDifferencesShiftArithmetically) {
  // Mask 1 on a row (250, 150, 150): blurred 200, 183, 150; k = 255.
  auto row = MakeGreyRow(3, 1, {250, 150, 150});
  auto out = test::Blank(row.get());
  ASSERT_TRUE(Sharpen(row.get(), out.get(), 1, 1.0));
  // 250 + ((50 * 255) >> 8) = 299 -> 255; 150 + ((-33 * 255) >> 8) = 150 - 33 = 117.
  for (int c = 0; c < 4; ++c) EXPECT_EQ(test::RowChannel(out.get(), 0, c), (std::vector<int>{255, 117, 150}));
}

TEST_F(SharpenTest, ToolStrengthGivesKEqualToTheSlider) {
  // Row (128, 0), mask 1: the first pixel blurs to 64, so it gains (64 * k) >> 8, which
  // tells k apart for every slider value 0..100 passed as slider / 255.
  auto row = MakeGreyRow(2, 1, {128, 0});
  auto out = test::Blank(row.get());
  for (int slider = 0; slider <= 100; ++slider) {
    ASSERT_TRUE(Sharpen(row.get(), out.get(), 1, slider / 255.0));
    EXPECT_EQ(At(out.get(), 0, 0)[1], std::min(255, 128 + (64 * slider >> 8))) << slider;
  }
  // A lone 128 in a row of 101 with mask 50 blurs to (128 * 648) >> 16 = 1: a gain of
  // (127 * k) >> 8.
  std::vector<Pixel> pixels(101, Pixel{0, 0, 0, 0});
  pixels[50] = Pixel{128, 128, 128, 128};
  auto wide = MakeImage(101, 1, pixels);
  auto wideOut = test::Blank(wide.get());
  for (int slider = 0; slider <= 100; ++slider) {
    ASSERT_TRUE(Sharpen(wide.get(), wideOut.get(), 50, slider / 255.0));
    EXPECT_EQ(At(wideOut.get(), 50, 0)[2], 128 + (127 * slider >> 8)) << slider;
  }
}

TEST_F(SharpenTest, InPlaceMatchesSeparateDestinationAndBadArgumentsAreRefused) {
  auto source = test::Random(40, 11, 7);
  auto out = test::Blank(source.get());
  ASSERT_TRUE(Sharpen(source.get(), out.get(), 2, 0.7));
  ASSERT_TRUE(Sharpen(source.get(), source.get(), 2, 0.7));
  EXPECT_EQ(Bytes(source.get()), Bytes(out.get()));
  EXPECT_FALSE(Sharpen(source.get(), out.get(), 2, std::nan("")));
  EXPECT_FALSE(Sharpen(nullptr, out.get(), 2, 1.0));
  auto other = test::Random(40, 12, 8);
  EXPECT_FALSE(Sharpen(source.get(), other.get(), 2, 1.0));
}

TEST_F(SharpenTest, HugeStrengthSaturatesWithoutOverflow) {
  auto row = MakeGreyRow(3, 1, {100, 101, 99});
  auto out = test::Blank(row.get());
  ASSERT_TRUE(Sharpen(row.get(), out.get(), 1, 1e12));
  // Blurs: 100, 100, 100: the 101 pixel goes to 255, the 99 pixel to 0, the 100 pixel stays.
  EXPECT_EQ(test::RowChannel(out.get(), 0, 1), (std::vector<int>{100, 255, 0}));
}

}  // namespace
}  // namespace vl::filters
