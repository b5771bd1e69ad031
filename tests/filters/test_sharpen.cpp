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
class RankFilterTest : public test::PoolTest {};

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

TEST(NeighbourhoodMaskTest, RectangularAndCircular) {
  EXPECT_EQ(NeighbourhoodMask(1, false), (std::vector<uint8_t>{1, 1, 1}));
  EXPECT_EQ(NeighbourhoodMask(1, true), (std::vector<uint8_t>{0, 1, 0}));
  // 2 cos(45 deg) + 0.5 = 1.91.
  EXPECT_EQ(NeighbourhoodMask(2, true), (std::vector<uint8_t>{0, 1, 2, 1, 0}));
  // 5 cos(18, 36, 54, 72 deg) + 0.5 = 5.26, 4.55, 3.44, 2.05.
  EXPECT_EQ(NeighbourhoodMask(5, true), (std::vector<uint8_t>{0, 2, 3, 4, 5, 5, 5, 4, 3, 2, 0}));
  EXPECT_EQ(NeighbourhoodMask(0, true), (std::vector<uint8_t>{0}));
  EXPECT_TRUE(NeighbourhoodMask(-1, false).empty());
  EXPECT_TRUE(NeighbourhoodMask(kMaxMaskRadius + 1, false).empty());
}

// Black opaque 5 x 5 with one white pixel in the middle.
image::ChunkyPtr LoneWhite() {
  auto image = test::MakeFilled(5, 5, Pixel{255, 0, 0, 0});
  std::memcpy(image->pixels + (2 * 5 + 2) * 4, Pixel{255, 255, 255, 255}.data(), 4);
  return image;
}

TEST_F(RankFilterTest, MinimumRemovesALoneWhitePixel) {
  auto image = LoneWhite();
  auto out = test::Blank(image.get());
  ASSERT_TRUE(MinimumFilter(image.get(), out.get(), 1, false));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At(out.get(), x, y), (Pixel{255, 0, 0, 0}));
}

TEST_F(RankFilterTest, MaximumGrowsASquareOrAPlus) {
  auto image = LoneWhite();
  auto out = test::Blank(image.get());
  ASSERT_TRUE(MaximumFilter(image.get(), out.get(), 1, false));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool inside = std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1;
      EXPECT_EQ(At(out.get(), x, y)[1], inside ? 255 : 0) << x << "," << y;
    }
  ASSERT_TRUE(MaximumFilter(image.get(), out.get(), 1, true));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool inside = std::abs(x - 2) + std::abs(y - 2) <= 1;
      EXPECT_EQ(At(out.get(), x, y)[1], inside ? 255 : 0) << x << "," << y;
    }
}

TEST_F(RankFilterTest, MedianOfTwoValuesTakesTheUpper) {
  auto image = MakeImage(2, 1, {{10, 10, 10, 10}, {20, 20, 20, 20}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(MedianFilter(image.get(), out.get(), 1, false));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{20, 20, 20, 20}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{20, 20, 20, 20}));
}

TEST_F(RankFilterTest, MedianPerChannelOnAThreeByThree) {
  // Red 1..9 row by row; green the reverse; blue constant; alpha the same as red.
  std::vector<Pixel> pixels;
  for (int i = 1; i <= 9; ++i) pixels.push_back({uint8_t(i), uint8_t(i), uint8_t(10 - i), 50});
  auto image = MakeImage(3, 3, pixels);
  auto out = test::Blank(image.get());
  ASSERT_TRUE(MedianFilter(image.get(), out.get(), 1, false));
  EXPECT_EQ(At(out.get(), 1, 1), (Pixel{5, 5, 5, 50}));
  // Corner (0, 0) sees red {1, 2, 4, 5} -> index 2 = 4; green {9, 8, 6, 5} -> 8.
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{4, 4, 8, 50}));
  // The circular mask at the centre sees the plus {2, 4, 5, 6, 8}: median 5; at the corner
  // {1, 2, 4}: 2, and green {9, 8, 6}: 8.
  ASSERT_TRUE(MedianFilter(image.get(), out.get(), 1, true));
  EXPECT_EQ(At(out.get(), 1, 1), (Pixel{5, 5, 5, 50}));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{2, 2, 8, 50}));
}

TEST_F(RankFilterTest, RadiusZeroCopiesAndInPlaceMatches) {
  auto image = test::Random(13, 10, 17);
  auto out = test::Blank(image.get());
  ASSERT_TRUE(MedianFilter(image.get(), out.get(), 0, true));
  EXPECT_EQ(Bytes(out.get()), Bytes(image.get()));
  ASSERT_TRUE(MedianFilter(image.get(), out.get(), 2, true));
  ASSERT_TRUE(MedianFilter(image.get(), image.get(), 2, true));
  EXPECT_EQ(Bytes(image.get()), Bytes(out.get()));
}

TEST_F(RankFilterTest, RankOrderHoldsOnRandomImages) {
  auto image = test::Random(16, 12, 23);
  auto lo = test::Blank(image.get()), mid = test::Blank(image.get()), hi = test::Blank(image.get());
  ASSERT_TRUE(MinimumFilter(image.get(), lo.get(), 2, false));
  ASSERT_TRUE(MedianFilter(image.get(), mid.get(), 2, false));
  ASSERT_TRUE(MaximumFilter(image.get(), hi.get(), 2, false));
  for (size_t i = 0; i < Bytes(image.get()).size(); ++i) {
    ASSERT_LE(lo->pixels[i], image->pixels[i]);
    ASSERT_LE(lo->pixels[i], mid->pixels[i]);
    ASSERT_LE(mid->pixels[i], hi->pixels[i]);
    ASSERT_GE(hi->pixels[i], image->pixels[i]);
  }
}

TEST_F(RankFilterTest, NullAndMismatchedImagesHaveNoEffect) {
  auto image = test::Random(4, 4, 2);
  auto other = test::Random(5, 4, 3);
  const auto before = Bytes(other.get());
  EXPECT_FALSE(MinimumFilter(nullptr, image.get(), 1, false));
  EXPECT_FALSE(MaximumFilter(image.get(), nullptr, 1, false));
  EXPECT_FALSE(MedianFilter(image.get(), other.get(), 1, false));
  EXPECT_FALSE(MedianFilter(image.get(), image.get(), kMaxMaskRadius + 1, false));
  EXPECT_EQ(Bytes(other.get()), before);
}

}  // namespace
}  // namespace vl::filters
