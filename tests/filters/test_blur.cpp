#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "filters/alpha_mode.h"
#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/plain_paths.h"
#include "filters/selective_gaussian.h"
#include "filters/selective_median.h"
#include "filters/tone.h"
#include "filters_test_util.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::MakeGreyRow;
using test::MakeImage;
using test::Pixel;
using test::RowChannel;

class BlurTest : public test::PoolTest {};

// Box average of one line computed straight from the definition: every window summed
// afresh, count of the pixels inside the image, 65536 / count reciprocal.
std::vector<int> NaiveBox(const std::vector<int>& line, int radius) {
  const int n = static_cast<int>(line.size());
  std::vector<int> out(line.size());
  for (int x = 0; x < n; ++x) {
    uint64_t sum = 0, count = 0;
    for (int i = x - radius; i <= x + radius; ++i)
      if (i >= 0 && i < n) sum += line[i], ++count;
    out[x] = static_cast<int>((sum * (65536 / count)) >> 16);
  }
  return out;
}

TEST(AlphaModeTest, RadioPositionsMapToModes) {
  EXPECT_EQ(AlphaModeFromRadio(0), 3);
  EXPECT_EQ(AlphaModeFromRadio(1), 4);
  EXPECT_EQ(AlphaModeFromRadio(2), 1);
  EXPECT_EQ(AlphaModeFromRadio(3), 0);
  EXPECT_EQ(AlphaModeFromRadio(-1), 0);
  for (int position = 0; position < 3; ++position)
    EXPECT_EQ(RadioFromAlphaMode(AlphaModeFromRadio(position)), position);
  EXPECT_FALSE(IsAlphaMode(2));
  EXPECT_EQ(kSelectiveAlphaModes[0], 3);
  EXPECT_EQ(kSelectiveAlphaModes[1], 1);
}

// A value outside the enum (from an unchecked conversion) is refused by every filter that
// takes a mode, and the destination is left as it was.
TEST_F(BlurTest, EveryModeFilterRefusesAValueThatIsNoMode) {
  using ModeFilter = std::function<bool(const image::ChunkyImage*, image::ChunkyImage*, AlphaMode)>;
  const std::vector<std::pair<const char*, ModeFilter>> filters = {
      {"GaussianBlur",
       [](const image::ChunkyImage*, image::ChunkyImage* d, AlphaMode m) { return GaussianBlur(d, 2.0f, m); }},
      {"plain::GaussianBlur",
       [](const image::ChunkyImage*, image::ChunkyImage* d, AlphaMode m) { return plain::GaussianBlur(d, 2.0f, m); }},
      {"SelectiveGaussian", [](const image::ChunkyImage* s, image::ChunkyImage* d,
                               AlphaMode m) { return SelectiveGaussian(s, d, 1.0f, 255, m); }},
      {"SelectiveMedian", [](const image::ChunkyImage* s, image::ChunkyImage* d,
                             AlphaMode m) { return SelectiveMedian(s, d, 2, 255, m); }},
      {"ApplyLUT", [](const image::ChunkyImage* s, image::ChunkyImage* d,
                      AlphaMode m) { return ApplyLUT(s, d, LevelsTable(10, 20), m); }},
      {"Levels",
       [](const image::ChunkyImage* s, image::ChunkyImage* d, AlphaMode m) { return Levels(s, d, 10, 20, m); }},
      {"ContrastGamma", [](const image::ChunkyImage* s, image::ChunkyImage* d,
                           AlphaMode m) { return ContrastGamma(s, d, 2.0f, 0.5f, m); }},
  };
  auto source = test::Random(9, 7, 5);
  for (const auto& [name, filter] : filters) {
    for (int value : {0, 2, 5, -1, 1 << 20}) {
      auto out = test::Random(9, 7, 6);
      const auto before = Bytes(out.get());
      EXPECT_FALSE(filter(source.get(), out.get(), static_cast<AlphaMode>(value))) << name << " " << value;
      EXPECT_EQ(Bytes(out.get()), before) << name << " " << value;
    }
    // The same filter with a mode does run, so the refusal above is the mode's.
    auto out = test::Random(9, 7, 6);
    EXPECT_TRUE(filter(source.get(), out.get(), kColourOnly)) << name;
  }
}

TEST_F(BlurTest, BoxRadiusOneOnZeroPeakZero) {
  auto row = MakeGreyRow(3, 1, {0, 255, 0});
  auto out = test::Blank(row.get());
  ASSERT_TRUE(BoxBlur(row.get(), out.get(), 1, 0));
  for (int c = 0; c < 4; ++c) EXPECT_EQ(RowChannel(out.get(), 0, c), (std::vector<int>{127, 84, 127}));
  // The same along a column.
  auto column = MakeGreyRow(1, 3, {0, 255, 0});
  ASSERT_TRUE(BoxBlur(column.get(), column.get(), 0, 1));
  EXPECT_EQ(At(column.get(), 0, 0)[2], 127);
  EXPECT_EQ(At(column.get(), 0, 1)[2], 84);
  EXPECT_EQ(At(column.get(), 0, 2)[2], 127);
}

TEST_F(BlurTest, BoxRadiiBeyondTheImageGiveTheAverage) {
  auto image = MakeGreyRow(4, 2, {10, 20, 30, 40, 0, 0, 0, 100});
  ASSERT_TRUE(BoxBlur(image.get(), image.get(), 1000, 1000));
  // Every window covers the whole image: sum 200 over 8 pixels, (200 * 8192) >> 16 = 25.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(image.get(), x, y), (Pixel{25, 25, 25, 25})) << x << "," << y;
}

TEST_F(BlurTest, BoxZeroRadiiCopyAndNegativeRadiiCountAsZero) {
  auto source = test::Random(9, 7, 3);
  auto out = test::Blank(source.get());
  ASSERT_TRUE(BoxBlur(source.get(), out.get(), 0, 0));
  EXPECT_EQ(Bytes(out.get()), Bytes(source.get()));
  ASSERT_TRUE(BoxBlur(source.get(), out.get(), -5, -1));
  EXPECT_EQ(Bytes(out.get()), Bytes(source.get()));
}

TEST_F(BlurTest, BoxMatchesTheDirectWindowSumAcrossColumnStrips) {
  // 70 columns: two full strips of 32 and a partial one.
  auto source = test::Random(70, 9, 11);
  auto out = test::Blank(source.get());
  const int rx = 3, ry = 2;
  ASSERT_TRUE(BoxBlur(source.get(), out.get(), rx, ry));
  for (int c = 0; c < 4; ++c) {
    std::vector<std::vector<int>> horizontal;
    for (int y = 0; y < 9; ++y) horizontal.push_back(NaiveBox(RowChannel(source.get(), y, c), rx));
    for (int x = 0; x < 70; ++x) {
      std::vector<int> column;
      for (int y = 0; y < 9; ++y) column.push_back(horizontal[y][x]);
      const std::vector<int> expected = NaiveBox(column, ry);
      for (int y = 0; y < 9; ++y) ASSERT_EQ(At(out.get(), x, y)[c], expected[y]) << x << "," << y << " ch " << c;
    }
  }
  // In place gives the same bytes.
  auto copy = image::ChunkyPtr(image::chk_Duplicate(source.get()));
  ASSERT_TRUE(BoxBlur(copy.get(), copy.get(), rx, ry));
  EXPECT_EQ(Bytes(copy.get()), Bytes(out.get()));
}

TEST_F(BlurTest, BoxOneBytePixelsGoToTheDestinationAndLeaveTheSource) {
  image::ChunkyPtr grey(image::chk_Create(3, 1, image::GREY8, false));
  ASSERT_TRUE(grey);
  grey->pixels[0] = 0, grey->pixels[1] = 255, grey->pixels[2] = 0;
  image::ChunkyPtr out(image::chk_Create(3, 1, image::GREY8, true));
  ASSERT_TRUE(BoxBlur(grey.get(), out.get(), 1, 1));
  EXPECT_EQ(out->pixels[0], 127);
  EXPECT_EQ(out->pixels[1], 84);
  EXPECT_EQ(out->pixels[2], 127);
  EXPECT_EQ(grey->pixels[1], 255);
  // The usual call passes the same image twice.
  ASSERT_TRUE(BoxBlur(grey.get(), grey.get(), 1, 0));
  EXPECT_EQ(grey->pixels[1], 84);
}

TEST_F(BlurTest, BoxRefusesMismatchedOrUnsupportedImages) {
  auto a = test::Random(4, 4, 1);
  auto b = test::Random(4, 5, 2);
  const auto before = Bytes(b.get());
  EXPECT_FALSE(BoxBlur(a.get(), b.get(), 1, 1));
  EXPECT_EQ(Bytes(b.get()), before);
  EXPECT_FALSE(BoxBlur(nullptr, a.get(), 1, 1));
  EXPECT_FALSE(BoxBlur(a.get(), nullptr, 1, 1));
  image::ChunkyPtr rgb(image::chk_Create(4, 4, image::RGB24, true));
  EXPECT_FALSE(BoxBlur(rgb.get(), rgb.get(), 1, 1));
}

TEST(GaussianKernelTest, WeightsFollowTheExponential) {
  // radius 1: r = 4, s2 = 2 r^2 / (2 ln 255) = 2.88738; weights 10000 exp(-i^2 / s2).
  const GaussianLineKernel k = GaussianKernel(1.0f);
  ASSERT_FALSE(k.empty());
  EXPECT_EQ(k.weights.size() % 2, 1u);
  EXPECT_EQ(static_cast<int>(k.weights.size()), 2 * k.length + 1);
  ASSERT_GE(k.length, 4);
  EXPECT_EQ(k.at(0), 10000);
  const int expected[] = {10000, 7072, 2502, 442, 39};
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(k.at(i), expected[i]) << i;
    EXPECT_EQ(k.at(-i), expected[i]) << i;
  }
  // The kernel reaches about r pixels: the weights beyond fall under 1/255 of the centre.
  EXPECT_LE(k.length, 5);
}

TEST(GaussianKernelTest, LengthGrowsWithTheRadiusAndBadRadiiGiveNothing) {
  const GaussianLineKernel small = GaussianKernel(0.5f);
  const GaussianLineKernel large = GaussianKernel(20.0f);
  EXPECT_LT(small.length, large.length);
  // A negative radius mirrors: |2 (-1) + 1| + 1 = 2, the same as radius 0.
  EXPECT_EQ(GaussianKernel(-1.0f).weights, GaussianKernel(0.0f).weights);
  EXPECT_TRUE(GaussianKernel(std::nanf("")).empty());
  EXPECT_TRUE(GaussianKernel(INFINITY).empty());
  EXPECT_TRUE(GaussianKernel(1e9f).empty());
  EXPECT_FALSE(GaussianKernel(kMaxGaussianRadius).empty());
  EXPECT_TRUE(GaussianKernel(-kMaxGaussianRadius - 1).empty());
}

TEST_F(BlurTest, GaussianLeavesTheLastPixelOfEachLine) {
  // Radius 0: weights 39, 2502, 10000, 2502, 39 (the rest truncate to 0), sum 15082.
  image::ChunkyPtr row(image::chk_Create(5, 1, image::GREY8, false));
  const uint8_t values[] = {0, 0, 0, 255, 0};
  std::memcpy(row->pixels, values, 5);
  ASSERT_TRUE(GaussianBlur(row.get(), 0.0f, kColourOnly));
  // 255 * 2502 / 15082 = 42; 255 * 10000 / 15082 = 169; the last pixel would become 42.
  EXPECT_EQ(std::vector<int>(row->pixels, row->pixels + 5), (std::vector<int>{0, 0, 42, 169, 0}));

  image::ChunkyPtr column(image::chk_Create(1, 5, image::GREY8, false));
  std::memcpy(column->pixels, values, 5);
  ASSERT_TRUE(GaussianBlur(column.get(), 0.0f, kColourOnly));
  EXPECT_EQ(std::vector<int>(column->pixels, column->pixels + 5), (std::vector<int>{0, 0, 42, 169, 0}));
}

TEST_F(BlurTest, GaussianBottomRightPixelIsNeverFiltered) {
  auto image = test::Random(6, 5, 21);
  const Pixel corner = At(image.get(), 5, 4);
  ASSERT_TRUE(GaussianBlur(image.get(), 2.0f, kColourAndAlpha));
  EXPECT_EQ(At(image.get(), 5, 4), corner);
}

TEST_F(BlurTest, GaussianModesTouchOnlyTheirBytes) {
  auto opaque = test::Random(8, 6, 5);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) test::Byte(opaque.get(), x, y, 0) = 255;
  const auto before = Bytes(opaque.get());
  ASSERT_TRUE(GaussianBlur(opaque.get(), 1.5f, kAlphaOnly));
  EXPECT_EQ(Bytes(opaque.get()), before);

  auto colour = test::Random(8, 6, 6);
  auto original = image::ChunkyPtr(image::chk_Duplicate(colour.get()));
  ASSERT_TRUE(GaussianBlur(colour.get(), 1.5f, kColourOnly));
  bool changed = false;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(At(colour.get(), x, y)[0], At(original.get(), x, y)[0]);
      changed |= At(colour.get(), x, y) != At(original.get(), x, y);
    }
  EXPECT_TRUE(changed);
}

TEST_F(BlurTest, GaussianKeepsUniformImagesAndRefusesBadArguments) {
  auto flat = test::MakeFilled(7, 7, Pixel{200, 10, 128, 255});
  const auto before = Bytes(flat.get());
  ASSERT_TRUE(GaussianBlur(flat.get(), 3.0f, kColourAndAlpha));
  EXPECT_EQ(Bytes(flat.get()), before);
  EXPECT_FALSE(GaussianBlur(flat.get(), 1.0f, static_cast<AlphaMode>(2)));
  EXPECT_FALSE(GaussianBlur(flat.get(), std::nanf(""), kColourOnly));
  EXPECT_FALSE(GaussianBlur(nullptr, 1.0f, kColourOnly));
  image::ChunkyPtr rgba(image::chk_Create(3, 3, image::RGB565, true));
  EXPECT_FALSE(GaussianBlur(rgba.get(), 1.0f, kColourOnly));
}

TEST(SelectiveKernelTest, RadiusZeroTable) {
  // r = 2, n = 3, sigma = 0.60077, norm = 0.51470.
  const SelectiveKernel k = SelectiveGaussianKernel(0.0f);
  ASSERT_EQ(k.n, 3);
  const int expected[3][3] = {{5147, 1288, 20}, {1288, 322, 5}, {20, 5, 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(k.at(i, j), expected[i][j]) << i << "," << j;
  EXPECT_TRUE(SelectiveGaussianKernel(kMaxSelectiveRadius + 1).empty());
  EXPECT_TRUE(SelectiveGaussianKernel(std::nanf("")).empty());
}

TEST_F(BlurTest, SelectiveGaussianAveragesOnlyCloseColours) {
  // Keys 3v = 0, 180, 600 against the limit 3 * 100: 0 and 60 mix, 200 stays alone.
  auto image = MakeImage(3, 1, {{77, 0, 0, 0}, {78, 60, 60, 60}, {79, 200, 200, 200}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), 0.0f, 100, kColourOnly));
  // (60 * 1288) / 6435 = 12; (60 * 5147) / 6435 = 47.
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{77, 12, 12, 12}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{78, 47, 47, 47}));
  EXPECT_EQ(At(out.get(), 2, 0), (Pixel{79, 200, 200, 200}));
}

TEST_F(BlurTest, SelectiveGaussianThresholdZeroCopies) {
  auto image = test::Random(9, 6, 8);
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), 2.0f, 0, kColourOnly));
  EXPECT_EQ(Bytes(out.get()), Bytes(image.get()));
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), 2.0f, 0, kAlphaOnly));
  EXPECT_EQ(Bytes(out.get()), Bytes(image.get()));
}

TEST_F(BlurTest, SelectiveGaussianWithAHighThresholdIsTheWeightedBlur) {
  auto image = test::Random(7, 5, 9);
  // Keep the colour sums within 600 of each other, under the limit 3 * 255.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      for (int c = 1; c < 4; ++c) test::Byte(image.get(), x, y, c) %= 201;
  auto out = test::Blank(image.get());
  const float radius = 0.6f;
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), radius, 255, kColourOnly));
  const SelectiveKernel k = SelectiveGaussianKernel(radius);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      int64_t sums[4] = {0, 0, 0, 0}, wsum = 0;
      for (int yy = 0; yy < 5; ++yy)
        for (int xx = 0; xx < 7; ++xx) {
          if (std::abs(xx - x) > k.n - 1 || std::abs(yy - y) > k.n - 1) continue;
          const int64_t w = k.at(std::abs(yy - y), std::abs(xx - x));
          for (int c = 1; c < 4; ++c) sums[c] += w * At(image.get(), xx, yy)[c];
          wsum += w;
        }
      EXPECT_EQ(At(out.get(), x, y)[0], At(image.get(), x, y)[0]);
      for (int c = 1; c < 4; ++c) EXPECT_EQ(At(out.get(), x, y)[c], sums[c] / wsum) << x << "," << y;
    }
}

TEST_F(BlurTest, SelectiveAlphaModeAveragesAlphaAndCopiesColour) {
  auto image = MakeImage(2, 1, {{0, 1, 2, 3}, {100, 4, 5, 6}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), 0.0f, 50, kAlphaOnly));
  // |0 - 100| < 150: each mixes with the other, weights 5147 and 1288.
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{uint8_t(100 * 1288 / 6435), 1, 2, 3}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{uint8_t(100 * 5147 / 6435), 4, 5, 6}));
  EXPECT_FALSE(SelectiveGaussian(image.get(), out.get(), 0.0f, 50, kColourAndAlpha));
}

TEST_F(BlurTest, SelectiveInPlaceMatchesSeparateDestination) {
  auto image = test::Random(10, 8, 13);
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveGaussian(image.get(), out.get(), 1.0f, 60, kColourOnly));
  ASSERT_TRUE(SelectiveGaussian(image.get(), image.get(), 1.0f, 60, kColourOnly));
  EXPECT_EQ(Bytes(image.get()), Bytes(out.get()));

  auto image2 = test::Random(10, 8, 14);
  auto out2 = test::Blank(image2.get());
  ASSERT_TRUE(SelectiveMedian(image2.get(), out2.get(), 2, 60, kColourOnly));
  ASSERT_TRUE(SelectiveMedian(image2.get(), image2.get(), 2, 60, kColourOnly));
  EXPECT_EQ(Bytes(image2.get()), Bytes(out2.get()));
}

TEST_F(BlurTest, SelectiveMedianOfFourPixels) {
  auto image = MakeImage(2, 2, {{9, 0, 0, 0}, {8, 10, 10, 10}, {7, 20, 20, 20}, {6, 30, 30, 30}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveMedian(image.get(), out.get(), 2, 50, kColourOnly));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(At(out.get(), x, y)[0], At(image.get(), x, y)[0]);
      for (int c = 1; c < 4; ++c) EXPECT_EQ(At(out.get(), x, y)[c], 20);
    }
}

TEST_F(BlurTest, SelectiveMedianLeavesOutFarColoursAndCopiesWithThresholdZero) {
  // The 250 pixel is 750 away in sum from 0: with threshold 10 (limit 30) nothing joins it.
  auto image = MakeImage(3, 1, {{1, 0, 0, 0}, {2, 5, 5, 5}, {3, 250, 250, 250}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveMedian(image.get(), out.get(), 2, 10, kColourOnly));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{1, 5, 5, 5}));  // {0, 5}: index 1
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{2, 5, 5, 5}));
  EXPECT_EQ(At(out.get(), 2, 0), (Pixel{3, 250, 250, 250}));
  ASSERT_TRUE(SelectiveMedian(image.get(), out.get(), 2, 0, kColourOnly));
  EXPECT_EQ(Bytes(out.get()), Bytes(image.get()));
  EXPECT_FALSE(SelectiveMedian(image.get(), out.get(), 0, 10, kColourOnly));
  EXPECT_FALSE(SelectiveMedian(image.get(), out.get(), kMaxSelectiveMedianSize + 1, 10, kColourOnly));
}

TEST_F(BlurTest, SelectiveMedianAlphaMode) {
  auto image = MakeImage(3, 1, {{10, 1, 1, 1}, {40, 2, 2, 2}, {20, 3, 3, 3}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(SelectiveMedian(image.get(), out.get(), 3, 255, kAlphaOnly));
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(At(out.get(), x, 0)[0], 20);
    EXPECT_EQ(At(out.get(), x, 0)[1], x + 1);
  }
}

}  // namespace
}  // namespace vl::filters
