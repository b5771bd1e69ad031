#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/blend_mode.h"
#include "filters/composite.h"
#include "filters/tone.h"
#include "filters_test_util.h"
#include "platform/requester.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::MakeImage;
using test::Pixel;

class CompositeTest : public test::PoolTest {};
class GlowTest : public test::PoolTest {};

// Records what the core shows the user.
class RecordingRequester : public platform::Requester {
 public:
  RecordingRequester() { platform::SetRequester(this); }
  ~RecordingRequester() override { platform::SetRequester(nullptr); }
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    asks.push_back(title + "|" + text + "|" + buttons);
    return 0;
  }
  std::vector<std::string> errors;
  std::vector<std::string> asks;
};

// A texture owning a copy of the given pixels.
image::TexturePtr MakeTexture(int width, int height, const std::vector<Pixel>& pixels) {
  image::TexturePtr t(image::CreateTexture(width, height, image::ARGB32));
  EXPECT_TRUE(t);
  std::memcpy(t->chunky->pixels, pixels.data(), pixels.size() * 4);
  return t;
}

TEST_F(CompositeTest, SetAlphaKeepsColour) {
  auto t = MakeTexture(2, 1, {{0, 1, 2, 3}, {9, 4, 5, 6}});
  ASSERT_TRUE(SetAlpha(t.get(), 200));
  EXPECT_EQ(At(t->chunky, 0, 0), (Pixel{200, 1, 2, 3}));
  EXPECT_EQ(At(t->chunky, 1, 0), (Pixel{200, 4, 5, 6}));
  EXPECT_FALSE(SetAlpha(nullptr, 1));
}

TEST_F(CompositeTest, NegativeAllInvertsAllFourBytes) {
  auto t = MakeTexture(1, 1, {{0, 1, 128, 255}});
  ASSERT_TRUE(NegativeAll(t.get()));
  EXPECT_EQ(At(t->chunky, 0, 0), (Pixel{255, 254, 127, 0}));
  ASSERT_TRUE(NegativeAll(t.get()));
  EXPECT_EQ(At(t->chunky, 0, 0), (Pixel{0, 1, 128, 255}));
}

TEST_F(CompositeTest, InsertAlphaCoversOnlyTheOverlap) {
  auto target = MakeTexture(3, 2, std::vector<Pixel>(6, Pixel{255, 10, 20, 30}));
  auto alpha =
      MakeTexture(2, 3, {{0, 0, 0, 0}, {0, 90, 91, 92}, {0, 255, 255, 254}, {0, 3, 3, 3}, {0, 7, 7, 7}, {0, 8, 8, 8}});
  ASSERT_TRUE(txtInsertAlpha(target.get(), alpha.get()));
  EXPECT_EQ(At(target->chunky, 0, 0), (Pixel{0, 10, 20, 30}));
  EXPECT_EQ(At(target->chunky, 1, 0), (Pixel{91, 10, 20, 30}));
  EXPECT_EQ(At(target->chunky, 0, 1), (Pixel{254, 10, 20, 30}));
  EXPECT_EQ(At(target->chunky, 1, 1), (Pixel{3, 10, 20, 30}));
  // Column 2 lies outside the alpha image.
  EXPECT_EQ(At(target->chunky, 2, 0), (Pixel{255, 10, 20, 30}));
  EXPECT_EQ(At(target->chunky, 2, 1), (Pixel{255, 10, 20, 30}));
}

TEST_F(CompositeTest, InsertAlphaReportsNullTextures) {
  auto t = MakeTexture(1, 1, {{5, 5, 5, 5}});
  testing::internal::CaptureStdout();
  EXPECT_FALSE(txtInsertAlpha(t.get(), nullptr));
  EXPECT_FALSE(txtInsertAlpha(nullptr, t.get()));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "[txtInsertAlpha]: Passed NULL texture pointers (1 , 0)\n"
            "[txtInsertAlpha]: Passed NULL texture pointers (0 , 1)\n");
  EXPECT_EQ(At(t->chunky, 0, 0), (Pixel{5, 5, 5, 5}));
}

TEST_F(CompositeTest, BlenderPixelCases) {
  auto t = MakeTexture(4, 1, {{128, 0, 0, 0}, {255, 255, 255, 255}, {0, 77, 88, 99}, {100, 200, 10, 50}});
  ASSERT_TRUE(BlendOverBackground(t.get(), 255, 0, 60));
  // a = 128, c = 0 over 255: 255 + ((-255 * 128) >> 8) = 127 (bits 8-15 of 0xFFFF8080 = 0x80).
  EXPECT_EQ(At(t->chunky, 0, 0), (Pixel{255, 127, 0, 30}));
  // a = 255, c = 255 over 0: (255 * 255) >> 8 = 254.
  EXPECT_EQ(At(t->chunky, 1, 0)[2], 254);
  EXPECT_EQ(At(t->chunky, 1, 0)[1], 255);  // 255 over 255 stays
  // a = 0 gives the background.
  EXPECT_EQ(At(t->chunky, 2, 0), (Pixel{255, 255, 0, 60}));
  // a = 100: 255 + ((-55 * 100) >> 8) = 255 - 22 = 233; (10 * 100) >> 8 = 3; 60 + (-1000 >> 8) = 56.
  EXPECT_EQ(At(t->chunky, 3, 0), (Pixel{255, 233, 3, 56}));
}

TEST_F(CompositeTest, BlenderRefusesOpaqueImages) {
  RecordingRequester requester;
  auto opaque = MakeTexture(2, 1, {{255, 1, 2, 3}, {255, 4, 5, 6}});
  EXPECT_FALSE(BlenderCheckTransparency(opaque.get()));
  ASSERT_EQ(requester.asks.size(), 1u);
  EXPECT_EQ(requester.asks[0],
            "Message...|This function works only if image contains any information in alpha channel.\n|OK");
  auto see = MakeTexture(2, 1, {{255, 1, 2, 3}, {254, 4, 5, 6}});
  EXPECT_TRUE(BlenderCheckTransparency(see.get()));
  EXPECT_EQ(requester.asks.size(), 1u);
}

TEST(GlowTableTest, LevelsScaledByStrengthAndEqualEnds) {
  const auto full = GlowTable(0, 255, 256);
  EXPECT_EQ(full, LevelsTable(0, 255));
  const auto strong = GlowTable(0, 255, 768);  // 300 %
  EXPECT_EQ(strong[10], 30);
  EXPECT_EQ(strong[100], 255);
  const auto none = GlowTable(20, 200, 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(none[i], 0);
  // An empty layer (all at low) stays empty; above low is full strength.
  const auto step = GlowTable(0, 0, 153);
  EXPECT_EQ(step[0], 0);
  EXPECT_EQ(step[1], (255 * 153) >> 8);
}

// Row of black, black, white (opaque). With threshold 200 the layer is (0, 0, 251):
// k = 65536 / 56 = 1170, (55 * 1170) >> 8 = 251. Mask 1 blurs it to (24, 83, 251) (weights
// 10000, 7072, 2502, 442, 39, 1; the last pixel is kept). Levels 24 .. 251: step 288, so
// 24 -> 0, 83 -> (59 * 288) >> 8 = 66, 251 -> 255.
image::ChunkyPtr BlackBlackWhite() {
  return MakeImage(3, 1, {{255, 0, 0, 0}, {200, 0, 0, 0}, {100, 255, 255, 255}});
}

TEST_F(GlowTest, HandComputedRowForEachMode) {
  auto kept = BlackBlackWhite();
  auto current = test::Blank(kept.get());
  struct Case {
    uint32_t mode;
    int expected[3];
  };
  const Case cases[] = {
      {kBlendAdd, {0, 66, 255}},
      {kBlendScreen, {1, 67, 255}},  // 255 - ((255 * 255) >> 8) = 1
      {kBlendMultiply, {0, 0, 254}},
  };
  for (const Case& c : cases) {
    for (bool monochrome : {false, true}) {
      ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 1, 100, 200, 100, monochrome, c.mode));
      for (int x = 0; x < 3; ++x) {
        const Pixel p = At(current.get(), x, 0);
        EXPECT_EQ(p[0], At(kept.get(), x, 0)[0]) << "alpha " << x;
        for (int ch = 1; ch < 4; ++ch)
          EXPECT_EQ(p[ch], c.expected[x]) << "mode " << c.mode << " mono " << monochrome << " x " << x;
      }
    }
  }
}

TEST_F(GlowTest, ModeWithoutPixelRuleLeavesTheGlowLayer) {
  auto kept = BlackBlackWhite();
  auto current = test::Blank(kept.get());
  ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 1, 100, 200, 100, false, kBlendNormal));
  EXPECT_EQ(test::RowChannel(current.get(), 0, 1), (std::vector<int>{24, 83, 251}));
}

TEST_F(GlowTest, ThresholdTwoFiftyFiveLeavesNoGlow) {
  auto kept = test::Random(12, 8, 51);
  std::memcpy(kept->pixels, Pixel{255, 255, 255, 255}.data(), 4);
  auto current = test::Blank(kept.get());
  ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 5, 60, 255, 100, false, kBlendAdd));
  EXPECT_EQ(Bytes(current.get()), Bytes(kept.get()));
}

TEST_F(GlowTest, AddWithStrengthZeroReproducesTheImage) {
  auto kept = test::Random(12, 8, 52);
  auto current = test::Blank(kept.get());
  for (bool monochrome : {false, true}) {
    ASSERT_TRUE(Glow(kept.get(), current.get(), 30, 3, 0, 80, 100, monochrome, kBlendAdd));
    EXPECT_EQ(Bytes(current.get()), Bytes(kept.get()));
  }
}

TEST_F(GlowTest, BackgroundScalesTheImageUnderTheGlow) {
  // A flat grey layer has low = high: no glow, only the background factor (50 % -> 128).
  auto kept = test::MakeFilled(4, 4, Pixel{255, 100, 100, 100});
  auto current = test::Blank(kept.get());
  ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 2, 100, 0, 50, false, kBlendAdd));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(current.get(), x, y), (Pixel{255, 50, 50, 50}));
}

TEST_F(GlowTest, ScreenNeverDarkens) {
  auto kept = test::Random(16, 10, 53);
  auto current = test::Blank(kept.get());
  for (int threshold : {0, 80, 200})
    for (bool monochrome : {false, true}) {
      ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 4, 300, threshold, 100, monochrome, kBlendScreen));
      for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
          for (int c = 1; c < 4; ++c) ASSERT_GE(At(current.get(), x, y)[c], At(kept.get(), x, y)[c]);
    }
}

TEST_F(GlowTest, InPlaceAndBadArguments) {
  auto kept = test::Random(10, 6, 54);
  auto current = test::Blank(kept.get());
  ASSERT_TRUE(Glow(kept.get(), current.get(), 50, 3, 60, 80, 80, false, kBlendScreen));
  auto same = image::ChunkyPtr(image::chk_Duplicate(kept.get()));
  ASSERT_TRUE(Glow(same.get(), same.get(), 50, 3, 60, 80, 80, false, kBlendScreen));
  EXPECT_EQ(Bytes(same.get()), Bytes(current.get()));

  const auto before = Bytes(current.get());
  EXPECT_FALSE(Glow(kept.get(), current.get(), 101, 3, 60, 80, 80, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), current.get(), 50, 3, 301, 80, 80, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), current.get(), 50, 3, 60, 256, 80, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), current.get(), 50, 3, 60, -1, 80, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), current.get(), 50, 3, 60, 80, 101, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), current.get(), 50, -1, 60, 80, 80, false, kBlendAdd));
  EXPECT_FALSE(Glow(kept.get(), nullptr, 50, 3, 60, 80, 80, false, kBlendAdd));
  EXPECT_EQ(Bytes(current.get()), before);
}

}  // namespace
}  // namespace vl::filters
