// Blending text and shadow coverage into ARGB32 pictures, on hand-made coverage images.
#include <climits>
#include <cstdint>
#include <vector>

#include "filters/text.h"
#include "test_support.h"

namespace vl::filters {
namespace {

using image::TexturePtr;

struct Argb {
  uint8_t a, r, g, b;
  bool operator==(const Argb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Argb& p) {
  return os << "(" << int(p.a) << "," << int(p.r) << "," << int(p.g) << "," << int(p.b) << ")";
}

class CompositeTextTest : public test::PoolTest {
 protected:
  TexturePtr Picture(int w, int h, Argb fill) {
    TexturePtr t(image::CreateTexture(w, h, image::ARGB32));
    EXPECT_NE(t, nullptr);
    image::Fill(t->chunky, fill.r, fill.g, fill.b, fill.a);
    return t;
  }
  TexturePtr Coverage(int w, int h, const std::vector<uint8_t>& bytes) {
    TexturePtr t(image::CreateTexture(w, h, image::GREY8));
    EXPECT_NE(t, nullptr);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(w) * h);
    std::copy(bytes.begin(), bytes.end(), t->chunky->pixels);
    return t;
  }
  TexturePtr Blank(int w, int h) { return TexturePtr(image::CreateTextureZeroed(w, h, image::GREY8)); }
  static Argb At(const image::Texture* t, int x, int y) {
    const uint8_t* p = t->chunky->pixels + (y * t->chunky->width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }
  static std::vector<uint8_t> Bytes(const image::Texture* t) {
    const image::ChunkyImage* c = t->chunky;
    return std::vector<uint8_t>(c->pixels, c->pixels + static_cast<size_t>(c->width) * c->height * 4);
  }
};

TEST_F(CompositeTextTest, TextBlendUsesArithmeticShifts) {
  // Destination (100, 200, 10, 128), text colour (255, 0, 255, 128), coverage 128:
  // a = (128 x 255) >> 8 = 127; red falls by (-200 x 127) >> 8 = -100 (truncation would give -99).
  TexturePtr pic = Picture(1, 1, {100, 200, 10, 128});
  TexturePtr text = Coverage(1, 1, {128});
  TexturePtr shadow = Blank(1, 1);
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xFF00FF80u, false, 0, 0, 0, 0, 255);
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{227, 100, 131, 128}));
}

TEST_F(CompositeTextTest, TextAlphaWeightsCoverageAndSaturates) {
  // Colour alpha 64, coverage 255: a = (255 x 64) >> 8 = 63; alpha 250 + 63 holds at 255.
  TexturePtr pic = Picture(2, 1, {250, 0, 255, 17});
  TexturePtr text = Coverage(2, 1, {255, 3});
  TexturePtr shadow = Blank(2, 1);
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0x40FF0011u, false, 0, 0, 0, 0, 255);
  // 0 + (255 x 63) >> 8 = 62; 255 + (-255 x 63) >> 8 = 255 - 63 = 192; 17 stays.
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{255, 62, 192, 17}));
  // Coverage 3 gives a = (3 x 64) >> 8 = 0: skipped.
  EXPECT_EQ(At(pic.get(), 1, 0), (Argb{250, 0, 255, 17}));
}

TEST_F(CompositeTextTest, ShadowBlendIsScaledByIntensityAndTextAlpha) {
  // Shadow coverage 200, intensity 128: a = 100; text alpha 200: t = (100 x 200) >> 8 = 78.
  TexturePtr pic = Picture(1, 1, {50, 255, 0, 100});
  TexturePtr text = Blank(1, 1);
  TexturePtr shadow = Coverage(1, 1, {200});
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xC8FFFFFFu, true, 0, 0, 0, 0x00000A64u, 128);
  // alpha 50 + 78; red 255 + (-255 x 78) >> 8 = 177; green 0 + (10 x 78) >> 8 = 3;
  // blue 100 + (0 x 78) >> 8 = 100. The shadow colour's alpha (0 here) plays no part.
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{128, 177, 3, 100}));
}

TEST_F(CompositeTextTest, ShadowIntensityAboveFullIsCappedAtFullCoverage) {
  TexturePtr pic = Picture(2, 1, {0, 0, 0, 0});
  TexturePtr text = Blank(2, 1);
  TexturePtr shadow = Coverage(2, 1, {255, 1});
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xFF000000u, true, 0, 0, 0, 0xFFFFFFFFu, 600);
  // a = (255 x 600) >> 8 = 597, held at 255; t = (255 x 255) >> 8 = 254; 0 + (255 x 254) >> 8 = 253.
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{254, 253, 253, 253}));
  // a = (1 x 600) >> 8 = 2; t = (2 x 255) >> 8 = 1; colour (255 x 1) >> 8 = 0.
  EXPECT_EQ(At(pic.get(), 1, 0), (Argb{1, 0, 0, 0}));
}

TEST_F(CompositeTextTest, NegativeIntensityDrawsNoShadow) {
  TexturePtr pic = Picture(1, 1, {10, 20, 30, 40});
  TexturePtr text = Blank(1, 1);
  TexturePtr shadow = Coverage(1, 1, {255});
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0xFFFFFFFFu, -300);
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{10, 20, 30, 40}));
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0xFFFFFFFFu, INT_MAX);
  // a = 255, t = (255 x 255) >> 8 = 254; alpha 10 + 254 held at 255;
  // red 20 + (235 x 254) >> 8 = 20 + 233, green 30 + 223, blue 40 + 213.
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{255, 253, 253, 253})) << "a huge intensity saturates without overflow";
}

TEST_F(CompositeTextTest, ShadowGoesFirstThenText) {
  // One pixel under both: shadow (black, t = 254) then text (white, a = 127).
  TexturePtr pic = Picture(1, 1, {0, 200, 200, 200});
  TexturePtr text = Coverage(1, 1, {128});
  TexturePtr shadow = Coverage(1, 1, {255});
  CompositeText(pic.get(), text.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0xFF000000u, 255);
  // Shadow: a = 254, t = 253; 200 + (-200 x 253) >> 8 = 200 - 198 = 2; alpha 253.
  // Text: 2 + (253 x 127) >> 8 = 2 + 125 = 127; alpha 253 + 127 held at 255.
  EXPECT_EQ(At(pic.get(), 0, 0), (Argb{255, 127, 127, 127}));
}

TEST_F(CompositeTextTest, ShadowIsCentredByItsPadAndOffset) {
  // Text 2 x 2, shadow 6 x 6 (pad 2) with one covered pixel at (1, 4).
  TexturePtr pic = Picture(12, 12, {0, 0, 0, 0});
  TexturePtr text = Blank(2, 2);
  std::vector<uint8_t> s(36, 0);
  s[4 * 6 + 1] = 255;
  TexturePtr shadow = Coverage(6, 6, s);
  CompositeText(pic.get(), text.get(), shadow.get(), 5, 3, 0xFF000000u, true, 3, -1, 0, 0xFF102030u, 255);
  // Top-left at (5 - 2 + 3, 3 - 2 - 1) = (6, 0): the pixel lands on (7, 4), with a = 254,
  // t = (254 x 255) >> 8 = 253 and the colour (16 x 253) >> 8 = 15, 31, 47.
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      Argb p = At(pic.get(), x, y);
      if (x == 7 && y == 4)
        EXPECT_EQ(p, (Argb{253, 15, 31, 47}));
      else
        EXPECT_EQ(p, (Argb{0, 0, 0, 0})) << x << "," << y;
    }
}

TEST_F(CompositeTextTest, OddPadTruncatesTowardZero) {
  // Shadow 5 x 5 over text 2 x 2: pad (5 - 2) / 2 = 1.
  TexturePtr pic = Picture(6, 6, {0, 0, 0, 0});
  TexturePtr text = Blank(2, 2);
  std::vector<uint8_t> s(25, 0);
  s[0] = 255;
  TexturePtr shadow = Coverage(5, 5, s);
  CompositeText(pic.get(), text.get(), shadow.get(), 2, 2, 0xFF000000u, true, 0, 0, 0, 0, 255);
  EXPECT_EQ(At(pic.get(), 1, 1).a, 253);
  EXPECT_EQ(At(pic.get(), 0, 0).a, 0);
  EXPECT_EQ(At(pic.get(), 2, 2).a, 0);
}

TEST_F(CompositeTextTest, DisabledShadowIsNotDrawn) {
  TexturePtr pic = Picture(3, 3, {0, 9, 9, 9});
  TexturePtr text = Blank(1, 1);
  TexturePtr shadow = Coverage(3, 3, std::vector<uint8_t>(9, 255));
  std::vector<uint8_t> before = Bytes(pic.get());
  CompositeText(pic.get(), text.get(), shadow.get(), 1, 1, 0xFFFFFFFFu, false, 0, 0, 0, 0xFFFFFFFFu, 255);
  EXPECT_EQ(Bytes(pic.get()), before);
}

TEST_F(CompositeTextTest, ZeroTextAlphaDrawsNothingShadowIncluded) {
  TexturePtr pic = Picture(4, 4, {128, 50, 60, 70});
  TexturePtr text = Coverage(2, 2, {255, 255, 255, 255});
  TexturePtr shadow = Coverage(4, 4, std::vector<uint8_t>(16, 255));
  std::vector<uint8_t> before = Bytes(pic.get());
  CompositeText(pic.get(), text.get(), shadow.get(), 1, 1, 0x00FFFFFFu, true, 0, 0, 0, 0xFFFFFFFFu, 255);
  EXPECT_EQ(Bytes(pic.get()), before);
}

TEST_F(CompositeTextTest, ClipsAtEveryEdge) {
  // A 3 x 3 fully covered text at each of these corners overlaps the 4 x 4 picture partly.
  struct Case {
    int x, y;
  };
  const Case cases[] = {{-2, -1}, {2, -2}, {-1, 3}, {3, 2}, {-3, 0}, {4, 4}, {-100, 1}, {1, 50}};
  for (const Case& c : cases) {
    TexturePtr pic = Picture(4, 4, {0, 0, 0, 0});
    TexturePtr text = Coverage(3, 3, std::vector<uint8_t>(9, 255));
    TexturePtr shadow = Blank(3, 3);
    CompositeText(pic.get(), text.get(), shadow.get(), c.x, c.y, 0xFFFFFFFFu, false, 0, 0, 0, 0, 255);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        bool inside = x >= c.x && x < c.x + 3 && y >= c.y && y < c.y + 3;
        EXPECT_EQ(At(pic.get(), x, y).a, inside ? 254 : 0) << c.x << "," << c.y << " at " << x << "," << y;
      }
  }
}

TEST_F(CompositeTextTest, ExtremePositionsDrawNothing) {
  TexturePtr pic = Picture(4, 4, {0, 0, 0, 0});
  TexturePtr text = Coverage(3, 3, std::vector<uint8_t>(9, 255));
  TexturePtr shadow = Coverage(7, 7, std::vector<uint8_t>(49, 255));
  std::vector<uint8_t> before = Bytes(pic.get());
  CompositeText(pic.get(), text.get(), shadow.get(), INT_MAX, INT_MAX, 0xFFFFFFFFu, true, INT_MAX, INT_MAX, 0, 0, 255);
  CompositeText(pic.get(), text.get(), shadow.get(), INT_MIN, INT_MIN, 0xFFFFFFFFu, true, INT_MIN, INT_MIN, 0, 0, 255);
  EXPECT_EQ(Bytes(pic.get()), before);
  // Far apart, position and offset still add up exactly: the shadow's corner comes to
  // (INT_MIN - 2 + INT_MAX, 0) = (-3, 0) and covers the picture; the text stays off it.
  CompositeText(pic.get(), text.get(), shadow.get(), INT_MIN, 0, 0xFFFFFFFFu, true, INT_MAX, 0, 0, 0, 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(pic.get(), x, y), (Argb{253, 0, 0, 0})) << x << "," << y;
}

TEST_F(CompositeTextTest, MissingOrWrongImagesDrawNothing) {
  TexturePtr pic = Picture(2, 2, {1, 2, 3, 4});
  TexturePtr text = Coverage(2, 2, {255, 255, 255, 255});
  TexturePtr shadow = Coverage(2, 2, {255, 255, 255, 255});
  TexturePtr wide = Picture(2, 2, {255, 255, 255, 255});  // ARGB32 is no coverage image
  std::vector<uint8_t> before = Bytes(pic.get());
  CompositeText(pic.get(), nullptr, shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0, 255);
  CompositeText(pic.get(), text.get(), nullptr, 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0, 255);
  CompositeText(pic.get(), wide.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0, 255);
  CompositeText(nullptr, text.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0, 255);
  EXPECT_EQ(Bytes(pic.get()), before);
  TexturePtr rgb(image::CreateTextureZeroed(2, 2, image::RGB24));
  ASSERT_NE(rgb, nullptr);
  CompositeText(rgb.get(), text.get(), shadow.get(), 0, 0, 0xFFFFFFFFu, true, 0, 0, 0, 0, 255);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(rgb->chunky->pixels[i], 0) << "a 3-byte picture is not drawn into";
}

TEST(TextToolConversions, ColoursAndIntensity) {
  EXPECT_EQ(ToolTextColor(100, 0x00123456u), 0xFF123456u);
  EXPECT_EQ(ToolTextColor(50, 0xAB123456u), 0x7F123456u) << "50 x 255 / 100 = 127; the old alpha goes";
  EXPECT_EQ(ToolTextColor(0, 0xFFFFFFFFu), 0x00FFFFFFu);
  EXPECT_EQ(ToolTextColor(1, 0), 0x02000000u);
  EXPECT_EQ(ToolShadowColor(0x00A0B0C0u), 0xFFA0B0C0u);
  EXPECT_EQ(ToolShadowIntensity(100), 255);
  EXPECT_EQ(ToolShadowIntensity(33), 84);
  EXPECT_EQ(ToolShadowIntensity(0), 0);
}

TEST(TextPlacement, OriginsCountFromTheirCorner) {
  int x = 10, y = 20;
  PlaceText(kOriginLeftTop, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  x = 10, y = 20;
  PlaceText(kOriginRightTop, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, 530);
  EXPECT_EQ(y, 20);
  x = 10, y = 20;
  PlaceText(kOriginLeftBottom, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 430);
  x = 10, y = 10;
  PlaceText(kOriginRightBottom, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, 530);
  EXPECT_EQ(y, 440);
  x = 7, y = 8;
  PlaceText(99, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, 7) << "an unknown origin counts as left-top";
  EXPECT_EQ(y, 8);
  x = INT_MIN, y = INT_MIN;
  PlaceText(kOriginRightBottom, 640, 480, 100, 30, x, y);
  EXPECT_EQ(x, INT_MAX) << "held at the end of the range instead of wrapping";
  EXPECT_EQ(y, INT_MAX);
}

}  // namespace
}  // namespace vl::filters
