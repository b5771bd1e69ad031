// The Levels window's core: the histogram it shows, the automatic levels of "_Auto" and the
// rule that keeps "Minimum:" below "Maximum".
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "edit/levels_tool.h"
#include "filters/tone.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::edit {
namespace {

class LevelsToolTest : public test::PoolTest {};

image::ChunkyPtr Picture(int w, int h, uint32_t format = image::ARGB32) {
  return image::ChunkyPtr(image::chk_Create(w, h, format, true));
}

TEST_F(LevelsToolTest, HistogramCountsEachChannelAndTheLuminance) {
  image::ChunkyPtr p = Picture(3, 1);
  image::SetPixel(p.get(), 0, 0, 255, 255, 0, 0);      // pure red: luminance 76
  image::SetPixel(p.get(), 1, 0, 128, 10, 20, 30);     // (2990 + 11740 + 3420) / 1000 = 18
  image::SetPixel(p.get(), 2, 0, 255, 255, 255, 255);  // white: 255
  const Histogram h = CountHistogram(*p);
  EXPECT_EQ(h.pixels, 3u);
  EXPECT_EQ(h.bins[kHistogramAlpha][255], 2u);
  EXPECT_EQ(h.bins[kHistogramAlpha][128], 1u);
  EXPECT_EQ(h.bins[kHistogramRed][255], 2u);
  EXPECT_EQ(h.bins[kHistogramRed][10], 1u);
  EXPECT_EQ(h.bins[kHistogramGreen][0], 1u);
  EXPECT_EQ(h.bins[kHistogramGreen][20], 1u);
  EXPECT_EQ(h.bins[kHistogramBlue][30], 1u);
  EXPECT_EQ(h.bins[kHistogramLuminance][76], 1u);
  EXPECT_EQ(h.bins[kHistogramLuminance][18], 1u);
  EXPECT_EQ(h.bins[kHistogramLuminance][255], 1u);
  EXPECT_EQ(h.Peak(kHistogramAlpha), 2u);
  EXPECT_EQ(h.Peak(kHistogramLuminance), 1u);
  int low = -1, high = -1;
  ASSERT_TRUE(h.Range(kHistogramLuminance, low, high));
  EXPECT_EQ(low, 18);
  EXPECT_EQ(high, 255);
}

TEST_F(LevelsToolTest, HistogramIsTheSameHoweverTheRowsAreSplitAndMatchesTheAutomaticLevels) {
  image::ChunkyPtr p(test::RandomImage(37, 23, image::ARGB32, 7));
  // Counted here pixel by pixel, as the reference.
  std::array<std::array<uint64_t, 256>, kHistogramChannels> expected{};
  for (size_t i = 0; i < 37 * 23; ++i) {
    const uint8_t* px = p->pixels + i * 4;
    for (int c = 0; c < 4; ++c) ++expected[static_cast<size_t>(c)][px[c]];
    ++expected[kHistogramLuminance][(299 * px[1] + 587 * px[2] + 114 * px[3]) / 1000];
  }
  for (int threads : {1, 3, 8}) {
    platform::ScopedThreadCount scope(threads, true);
    const Histogram h = CountHistogram(*p);
    EXPECT_EQ(h.bins, expected) << threads << " threads";
    EXPECT_EQ(h.pixels, 37u * 23u);
  }
  // The first and last luminance (alpha) bins are what the automatic levels measure.
  const Histogram h = CountHistogram(*p);
  int low = 0, high = 0;
  ASSERT_TRUE(h.Range(kHistogramLuminance, low, high));
  const filters::LevelRange colour = filters::AutoLevels(p.get(), filters::kColourOnly);
  EXPECT_EQ(low, colour.low);
  EXPECT_EQ(high, colour.high);
  ASSERT_TRUE(h.Range(kHistogramAlpha, low, high));
  const filters::LevelRange alpha = filters::AutoLevels(p.get(), filters::kAlphaOnly);
  EXPECT_EQ(low, alpha.low);
  EXPECT_EQ(high, alpha.high);
}

TEST_F(LevelsToolTest, HistogramOfAnotherFormatIsEmpty) {
  image::ChunkyPtr p = Picture(4, 4, image::RGB24);
  const Histogram h = CountHistogram(*p);
  EXPECT_EQ(h.pixels, 0u);
  EXPECT_EQ(h.Peak(kHistogramRed), 0u);
  int low = 0, high = 0;
  EXPECT_FALSE(h.Range(kHistogramRed, low, high));
  EXPECT_EQ(h.Peak(kHistogramChannels), 0u);
}

TEST_F(LevelsToolTest, TheOtherLevelGivesWay) {
  const struct {
    int low, high;
    bool lowMoved;
    int wantLow, wantHigh;
  } cases[] = {
      {100, 200, true, 100, 200},  // apart already
      {100, 200, false, 100, 200},
      {200, 200, true, 200, 201},  // the minimum moved onto the maximum: the maximum steps up
      {230, 200, true, 230, 231},
      {255, 255, true, 254, 255},  // no room above: the minimum steps back
      {100, 100, false, 99, 100},  // the maximum moved onto the minimum: the minimum steps down
      {100, 50, false, 49, 50},
      {0, 0, false, 0, 1},  // no room below: the maximum steps back
  };
  for (const auto& c : cases) {
    LevelsParams p;
    p.low = c.low;
    p.high = c.high;
    KeepLevelsApart(p, c.lowMoved);
    EXPECT_EQ(p.low, c.wantLow) << c.low << "," << c.high << (c.lowMoved ? " low" : " high");
    EXPECT_EQ(p.high, c.wantHigh) << c.low << "," << c.high << (c.lowMoved ? " low" : " high");
  }
}

TEST_F(LevelsToolTest, AutoMeasuresTheModesChannelAndMakesAStepOfASingleLevel) {
  image::ChunkyPtr p = Picture(2, 1);
  image::SetPixel(p.get(), 0, 0, 40, 100, 100, 100);
  image::SetPixel(p.get(), 1, 0, 200, 50, 50, 50);
  LevelsParams colour;
  colour.low = 7;
  colour.high = 9;
  ASSERT_TRUE(AutoLevelsFrom(*p, colour));
  EXPECT_EQ(colour.low, 50);
  EXPECT_EQ(colour.high, 100);
  EXPECT_FALSE(colour.autoLevels);
  LevelsParams both;
  both.mode = filters::kColourAndAlpha;  // measured on the luminance too
  ASSERT_TRUE(AutoLevelsFrom(*p, both));
  EXPECT_EQ(both.low, 50);
  EXPECT_EQ(both.high, 100);
  LevelsParams alpha;
  alpha.mode = filters::kAlphaOnly;
  ASSERT_TRUE(AutoLevelsFrom(*p, alpha));
  EXPECT_EQ(alpha.low, 40);
  EXPECT_EQ(alpha.high, 200);

  // A 1 x 1 picture has one level: a step there, never a pair the table cannot take.
  image::ChunkyPtr one = Picture(1, 1);
  image::SetPixel(one.get(), 0, 0, 255, 255, 0, 0);
  LevelsParams single;
  ASSERT_TRUE(AutoLevelsFrom(*one, single));
  EXPECT_EQ(single.low, 76);
  EXPECT_EQ(single.high, 77);
  image::SetPixel(one.get(), 0, 0, 255, 255, 255, 255);
  ASSERT_TRUE(AutoLevelsFrom(*one, single));
  EXPECT_EQ(single.low, 254);
  EXPECT_EQ(single.high, 255);

  // Nothing to measure: the pair stays.
  image::ChunkyPtr rgb = Picture(2, 2, image::RGB24);
  LevelsParams kept;
  kept.low = 12;
  kept.high = 34;
  EXPECT_FALSE(AutoLevelsFrom(*rgb, kept));
  EXPECT_EQ(kept.low, 12);
  EXPECT_EQ(kept.high, 34);
}

}  // namespace
}  // namespace vl::edit
