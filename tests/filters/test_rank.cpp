#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "filters/rank.h"
#include "filters_test_util.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::MakeImage;
using test::Pixel;

class RankFilterTest : public test::PoolTest {};

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
