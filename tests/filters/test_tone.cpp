#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "filters/alpha_mode.h"
#include "filters/tone.h"
#include "filters_test_util.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::MakeImage;
using test::Pixel;

class ToneTest : public test::PoolTest {};

LookupTable Ramp(int offset) {
  LookupTable t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>((i + offset) & 0xFF);
  return t;
}

TEST_F(ToneTest, ApplyLUTMapsTheBytesOfEachMode) {
  auto image = MakeImage(1, 1, {{10, 20, 30, 40}});
  auto out = test::Blank(image.get());
  const LookupTable plusOne = Ramp(1);
  ASSERT_TRUE(ApplyLUT(image.get(), out.get(), plusOne, kColourAndAlpha));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{11, 21, 31, 41}));
  ASSERT_TRUE(ApplyLUT(image.get(), out.get(), plusOne, kColourOnly));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{10, 21, 31, 41}));
  ASSERT_TRUE(ApplyLUT(image.get(), out.get(), plusOne, kAlphaOnly));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{11, 20, 30, 40}));
  auto untouched = test::Blank(image.get());
  EXPECT_FALSE(ApplyLUT(image.get(), untouched.get(), plusOne, static_cast<AlphaMode>(2)));
  EXPECT_EQ(At(untouched.get(), 0, 0), (Pixel{0, 0, 0, 0}));
}

TEST(LevelsTableTest, FullRangeAndHundredToTwoHundred) {
  const LookupTable full = LevelsTable(0, 255);
  EXPECT_EQ(full[255], 255);  // (255 * 257) >> 8
  EXPECT_EQ(full[128], 128);
  EXPECT_EQ(full[0], 0);
  const LookupTable mid = LevelsTable(100, 200);
  EXPECT_EQ(mid[99], 0);
  EXPECT_EQ(mid[0], 0);
  EXPECT_EQ(mid[100], 0);
  EXPECT_EQ(mid[150], 127);  // (50 * 655) >> 8
  for (int i = 200; i < 256; ++i) EXPECT_EQ(mid[i], 255) << i;
  EXPECT_EQ(mid[199], (99 * 655) >> 8);
}

TEST(LevelsTableTest, EqualEndsMakeAStepAtLow) {
  const LookupTable step = LevelsTable(50, 50);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(step[i], 0) << i;
  for (int i = 50; i < 256; ++i) EXPECT_EQ(step[i], 255) << i;
  const LookupTable atZero = LevelsTable(0, 0);
  EXPECT_EQ(atZero[0], 255);
  // Reversed ends give a falling table, limited to 0..255.
  const LookupTable reversed = LevelsTable(200, 100);
  EXPECT_EQ(reversed[100], 255);
  EXPECT_EQ(reversed[150], 127);
  EXPECT_EQ(reversed[200], 0);
  EXPECT_EQ(reversed[255], 0);
  EXPECT_EQ(reversed[0], 255);
  // Far-out ends do not overflow.
  const LookupTable wide = LevelsTable(-2147483647, 2147483647);
  EXPECT_EQ(wide[0], 0);
}

TEST_F(ToneTest, LevelsAppliesByMode) {
  auto image = MakeImage(2, 1, {{150, 150, 100, 250}, {0, 200, 99, 175}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(Levels(image.get(), out.get(), 100, 200, kColourOnly));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{150, 127, 0, 255}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{0, 255, 0, (75 * 655) >> 8}));
  ASSERT_TRUE(Levels(image.get(), out.get(), 100, 200, kAlphaOnly));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{127, 150, 100, 250}));
  EXPECT_FALSE(Levels(image.get(), out.get(), 100, 200, static_cast<AlphaMode>(0)));
}

TEST_F(ToneTest, AutoLevelsMeasuresLuminanceOrAlpha) {
  auto red = test::MakeFilled(3, 2, Pixel{255, 255, 0, 0});
  const LevelRange r = AutoLevels(red.get(), kColourOnly);
  EXPECT_EQ(r.low, 76);  // 299 * 255 / 1000
  EXPECT_EQ(r.high, 76);
  auto mixed = MakeImage(3, 1, {{30, 0, 0, 0}, {200, 255, 255, 255}, {90, 0, 255, 0}});
  const LevelRange c = AutoLevels(mixed.get(), kColourAndAlpha);
  EXPECT_EQ(c.low, 0);
  EXPECT_EQ(c.high, 255);
  const LevelRange a = AutoLevels(mixed.get(), kAlphaOnly);
  EXPECT_EQ(a.low, 30);
  EXPECT_EQ(a.high, 200);
  const LevelRange none = AutoLevels(nullptr, kColourOnly);
  EXPECT_EQ(none.low, 255);
  EXPECT_EQ(none.high, 0);
}

TEST(ContrastGammaTableTest, IdentitySettingsLoseALevelOnSomeEntries) {
  const LookupTable t = ContrastGammaTable(1.0f, 1.0f);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[1], 0);
  EXPECT_EQ(t[12], 11);
  EXPECT_EQ(t[255], 255);
  for (int i = 0; i < 256; ++i) {
    EXPECT_LE(t[i], i);
    EXPECT_GE(t[i], i - 1);
  }
}

TEST(ContrastGammaTableTest, ContrastZeroIsFlatAtPowHalf) {
  const LookupTable one = ContrastGammaTable(0.0f, 1.0f);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(one[i], 127) << i;
  // pow(0.5, 1 / 2) * 255 = 180.3.
  const LookupTable two = ContrastGammaTable(0.0f, 2.0f);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(two[i], 180) << i;
}

TEST(ContrastGammaTableTest, HighContrastClipsAndNegativeBaseGivesZero) {
  // Contrast 5: y = (i / 255 - 0.5) * 5 + 0.5 is negative below i = 102 and above 1 from 154.
  for (float gamma : {1.0f, 0.5f, 0.33f, 2.0f}) {
    const LookupTable t = ContrastGammaTable(5.0f, gamma);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(t[i], 0) << i << " gamma " << gamma;
    for (int i = 156; i < 256; ++i) ASSERT_EQ(t[i], 255) << i << " gamma " << gamma;
    for (int i = 1; i < 256; ++i) ASSERT_GE(t[i], t[i - 1]) << i << " gamma " << gamma;
  }
  // Gamma below 0.001 is raised to it: every base under 1 collapses to 0.
  const LookupTable tiny = ContrastGammaTable(1.0f, 0.0f);
  EXPECT_EQ(tiny[200], 0);
}

TEST_F(ToneTest, ContrastGammaMethodSelectsTheAlphaMode) {
  auto image = MakeImage(1, 1, {{12, 12, 1, 255}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(ContrastGamma(image.get(), out.get(), 1.0f, 1.0f, AlphaModeFromRadio(0)));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{12, 11, 0, 255}));
  ASSERT_TRUE(ContrastGamma(image.get(), out.get(), 1.0f, 1.0f, AlphaModeFromRadio(1)));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{11, 11, 0, 255}));
  ASSERT_TRUE(ContrastGamma(image.get(), out.get(), 1.0f, 1.0f, AlphaModeFromRadio(2)));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{11, 12, 1, 255}));
  EXPECT_FALSE(ContrastGamma(image.get(), out.get(), 1.0f, 1.0f, AlphaModeFromRadio(3)));
  EXPECT_FALSE(ContrastGamma(image.get(), out.get(), std::nanf(""), 1.0f, AlphaModeFromRadio(0)));
}

TEST_F(ToneTest, RGBBalanceScalesEachChannel) {
  const LookupTable twice = BalanceTable(2.0);
  EXPECT_EQ(twice[10], 20);
  EXPECT_EQ(twice[127], 254);
  EXPECT_EQ(twice[128], 255);
  EXPECT_EQ(twice[255], 255);
  const LookupTable same = BalanceTable(1.0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(same[i], i);
  // 0.29 * 256 = 74.24 -> 74: (100 * 74) >> 8 = 28.
  EXPECT_EQ(BalanceTable(0.29)[100], 28);
  const LookupTable negative = BalanceTable(-1.0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(negative[i], 0);
  EXPECT_EQ(BalanceTable(1e300)[1], 255);

  auto image = MakeImage(1, 1, {{100, 100, 100, 100}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(RGBBalance(image.get(), out.get(), 2.0, 1.0, 0.5, 0.0));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{0, 200, 100, 50}));
  EXPECT_FALSE(RGBBalance(image.get(), out.get(), std::nan(""), 1.0, 1.0, 1.0));
}

TEST(HSVTest, PrimariesAndGreys) {
  HSV red = RGBToHSV(255, 0, 0);
  EXPECT_EQ(red.h, 0);
  EXPECT_EQ(red.s, 256);
  EXPECT_EQ(red.v, 255);
  EXPECT_EQ(RGBToHSV(0, 255, 0).h, 85);   // (0x10000 * 10922) >> 16 = 10922, >> 7
  EXPECT_EQ(RGBToHSV(0, 0, 255).h, 170);  // 21844 >> 7
  // A negative hue wraps by 32768: magenta (255, 0, 255) gives h = -32768 -> 27307 >> 7.
  EXPECT_EQ(RGBToHSV(255, 0, 255).h, 213);
  const HSV black = RGBToHSV(0, 0, 0);
  EXPECT_EQ(black.h + black.s + black.v, 0);
  // A grey has no hue and no saturation (its hue would divide by zero).
  const HSV grey = RGBToHSV(128, 128, 128);
  EXPECT_EQ(grey.h, 0);
  EXPECT_EQ(grey.s, 0);
  EXPECT_EQ(grey.v, 128);
  const RGB back = HSVToRGB(0, 0, 128);
  EXPECT_EQ(back.r, 128);
  EXPECT_EQ(back.g, 128);
  EXPECT_EQ(back.b, 128);
}

TEST(HSVTest, HSVToRGBSectors) {
  // Full saturation 255 and value 255: p = (128 * 32640) >> 15 = 127 -> 0 after >> 7.
  const RGB red = HSVToRGB(0, 255, 255);
  EXPECT_EQ(red.r, 255);
  EXPECT_EQ(red.g, 0);
  EXPECT_EQ(red.b, 0);
  // H 128: hh = 6 * 16384 = 0x18000, sector 3, f 0: (p, q, v) = (0, 255, 255).
  const RGB cyan = HSVToRGB(128, 255, 255);
  EXPECT_EQ(cyan.r, 0);
  EXPECT_EQ(cyan.g, 255);
  EXPECT_EQ(cyan.b, 255);
}

TEST(HSVTest, RoundTripKeepsMostColoursWithinALevel) {
  // Hue has 256 steps per turn, 1530 RGB steps around the colour circle: a hue step moves
  // a channel by up to six levels, plus truncation.
  int64_t within = 0, total = 0;
  int worst = 0;
  for (int r = 0; r < 256; r += 3)
    for (int g = 0; g < 256; g += 3)
      for (int b = 0; b < 256; b += 3) {
        const HSV hsv = RGBToHSV(r, g, b);
        const RGB back = HSVToRGB(hsv.h, std::min(255, hsv.s), hsv.v);
        const int e = std::max({std::abs(back.r - r), std::abs(back.g - g), std::abs(back.b - b)});
        within += e <= 1;
        worst = std::max(worst, e);
        ++total;
        if (r == g && g == b) {
          ASSERT_EQ(e, 0) << r;
        }
      }
  EXPECT_GT(within * 2, total);
  EXPECT_LE(worst, 8);
}

TEST_F(ToneTest, HSVBalanceIdentityAndHueShift) {
  auto image = MakeImage(3, 1, {{7, 255, 0, 0}, {8, 90, 90, 90}, {9, 0, 255, 0}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 0.0, 1.0, 1.0));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{7, 255, 0, 0}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{8, 90, 90, 90}));
  // Half a turn: hue shift 128 moves red to H 128 (cyan).
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 0.5, 1.0, 1.0));
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{7, 0, 255, 255}));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{8, 90, 90, 90}));
  // Green (H 85) shifted by 200/256 turn: 285 wraps to 285 - 255 = 30.
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 200.0 / 256.0, 1.0, 1.0));
  const RGB expected = HSVToRGB(30, 255, 255);
  EXPECT_EQ(At(out.get(), 2, 0), (Pixel{9, uint8_t(expected.r), uint8_t(expected.g), uint8_t(expected.b)}));
  // Red shifted back half a turn: -128 wraps to 127.
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), -0.5, 1.0, 1.0));
  const RGB back = HSVToRGB(127, 255, 255);
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{7, uint8_t(back.r), uint8_t(back.g), uint8_t(back.b)}));
}

TEST_F(ToneTest, HSVBalanceSaturationAndValueFactors) {
  auto image = MakeImage(2, 1, {{1, 200, 100, 50}, {2, 255, 0, 0}});
  auto out = test::Blank(image.get());
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 0.0, 0.0, 1.0));
  // No saturation left: grey at the value, the maximum channel.
  EXPECT_EQ(At(out.get(), 0, 0), (Pixel{1, 200, 200, 200}));
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 0.0, 1.0, 0.0));
  EXPECT_EQ(At(out.get(), 1, 0), (Pixel{2, 0, 0, 0}));
  // Large or wild factors stay in range.
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 37.3, 5.0, 5.0));
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), -1e200, -3.0, 1e200));
  EXPECT_FALSE(HSVBalance(image.get(), out.get(), std::nan(""), 1.0, 1.0));
}

TEST_F(ToneTest, NegativeTwiceRestoresAndKeepsAlpha) {
  auto image = test::Random(11, 7, 31);
  const auto before = Bytes(image.get());
  ASSERT_TRUE(Negative(image.get()));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 11; ++x) {
      const size_t i = (static_cast<size_t>(y) * 11 + x) * 4;
      EXPECT_EQ(image->pixels[i], before[i]);
      EXPECT_EQ(image->pixels[i + 1], 255 - before[i + 1]);
      EXPECT_EQ(image->pixels[i + 3], 255 - before[i + 3]);
    }
  ASSERT_TRUE(Negative(image.get()));
  EXPECT_EQ(Bytes(image.get()), before);
}

TEST_F(ToneTest, GrayscaleAveragesTruncated) {
  auto image = MakeImage(2, 1, {{5, 10, 20, 31}, {6, 255, 255, 254}});
  ASSERT_TRUE(Grayscale(image.get()));
  EXPECT_EQ(At(image.get(), 0, 0), (Pixel{5, 20, 20, 20}));
  EXPECT_EQ(At(image.get(), 1, 0), (Pixel{6, 254, 254, 254}));
  EXPECT_FALSE(Grayscale(nullptr));
  EXPECT_FALSE(Negative(nullptr));
}

TEST_F(ToneTest, InPlaceTablesMatchSeparateDestination) {
  auto image = test::Random(9, 9, 41);
  auto out = test::Blank(image.get());
  ASSERT_TRUE(HSVBalance(image.get(), out.get(), 0.1, 1.2, 0.8));
  ASSERT_TRUE(HSVBalance(image.get(), image.get(), 0.1, 1.2, 0.8));
  EXPECT_EQ(Bytes(image.get()), Bytes(out.get()));
}

}  // namespace
}  // namespace vl::filters
