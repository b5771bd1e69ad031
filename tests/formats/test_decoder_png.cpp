#include <png.h>

#include "formats/decoders.h"
#include "formats/loader.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class PngDecoderTest : public LoaderTest {};

TEST_F(PngDecoderTest, RgbLoadsOpaqueWithExactPixels) {
  PngSpec s;
  s.width = 3;
  s.height = 2;
  s.rows = {{255, 0, 0, 0, 255, 0, 0, 0, 255}, {10, 20, 30, 40, 50, 60, 70, 80, 90}};
  auto t = Load("a.png", EncodePng(s));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->chunky->format, image::ARGB32);
  EXPECT_EQ(t->formatName, "PNG");
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFF0000FFu);
  EXPECT_EQ(Argb(t.get(), 2, 1), 0xFF46505Au);
}

TEST_F(PngDecoderTest, RgbaKeepsAlpha) {
  PngSpec s;
  s.width = 2;
  s.colorType = PNG_COLOR_TYPE_RGBA;
  s.rows = {{1, 2, 3, 0, 4, 5, 6, 128}};
  auto t = Load("a.png", EncodePng(s));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0x00010203u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0x80040506u);
}

TEST_F(PngDecoderTest, PaletteWithoutTransparencyIsIndexed) {
  PngSpec s;
  s.width = 4;
  s.colorType = PNG_COLOR_TYPE_PALETTE;
  s.bitDepth = 2;
  s.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 9, 8, 7};
  s.rows = {{0x1B}};  // indices 0, 1, 2, 3
  Bytes png = EncodePng(s);
  formats::DecodedPicture pic;
  ASSERT_TRUE(formats::DecodeMemory(png.data(), png.size(), pic));
  EXPECT_EQ(pic.depth, 2);
  EXPECT_FALSE(pic.hasAlpha);
  auto t = Load("a.png", png);
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(t.get(), 3, 0), 0xFF090807u);
}

TEST_F(PngDecoderTest, PaletteTransparencyBecomesAlpha) {
  PngSpec s;
  s.width = 2;
  s.colorType = PNG_COLOR_TYPE_PALETTE;
  s.palette = {10, 20, 30, 40, 50, 60};
  s.trnsAlpha = {0};
  s.rows = {{0, 1}};
  auto t = Load("a.png", EncodePng(s));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0x000A141Eu);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF28323Cu);
}

TEST_F(PngDecoderTest, GreyAndGreyAlpha) {
  PngSpec g;
  g.width = 2;
  g.colorType = PNG_COLOR_TYPE_GRAY;
  g.rows = {{0x33, 0xEE}};
  auto t = Load("g.png", EncodePng(g));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF333333u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFFEEEEEEu);

  PngSpec ga;
  ga.width = 1;
  ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.rows = {{0x40, 0x7F}};
  auto u = Load("ga.png", EncodePng(ga));
  ASSERT_TRUE(u);
  EXPECT_EQ(Argb(u.get(), 0, 0), 0x7F404040u);
}

TEST_F(PngDecoderTest, GreyWithTrnsAndLowBitDepth) {
  PngSpec g;
  g.width = 4;
  g.colorType = PNG_COLOR_TYPE_GRAY;
  g.bitDepth = 2;
  g.trnsGrey = 1;
  g.rows = {{0x1B}};  // levels 0, 1, 2, 3
  auto t = Load("g.png", EncodePng(g));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(t.get(), 1, 0) >> 24, 0u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFFAAAAAAu);
  EXPECT_EQ(Argb(t.get(), 3, 0), 0xFFFFFFFFu);
}

TEST_F(PngDecoderTest, SixteenBitChannelsReduceToEight) {
  PngSpec s;
  s.width = 1;
  s.bitDepth = 16;
  s.rows = {{0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}};
  auto t = Load("a.png", EncodePng(s));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF8000u);
}

TEST_F(PngDecoderTest, InterlacedMatchesPlain) {
  PngSpec plain, inter;
  plain.width = inter.width = 9;
  plain.height = inter.height = 11;
  for (int y = 0; y < 11; ++y) {
    Bytes row;
    for (int x = 0; x < 9; ++x) row.insert(row.end(), {uint8_t(x * 20), uint8_t(y * 20), uint8_t(x * y)});
    plain.rows.push_back(row);
  }
  inter.rows = plain.rows;
  inter.interlaced = true;
  auto a = Load("p.png", EncodePng(plain));
  auto b = Load("i.png", EncodePng(inter));
  ASSERT_TRUE(a && b);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 9; ++x) {
      ASSERT_EQ(Argb(b.get(), x, y), Argb(a.get(), x, y)) << x << "," << y;
      ASSERT_EQ(Argb(a.get(), x, y), 0xFF000000u | uint32_t(x * 20) << 16 | uint32_t(y * 20) << 8 | uint32_t(x * y));
    }
}

TEST_F(PngDecoderTest, ScanVariantGivesRgb24) {
  PngSpec s;
  s.width = 2;
  s.colorType = PNG_COLOR_TYPE_RGBA;
  s.rows = {{1, 2, 3, 0, 4, 5, 6, 255}};
  auto t = LoadForScan("a.png", EncodePng(s));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->chunky->format, image::RGB24);
  EXPECT_EQ(Rgb(t.get(), 0, 0), 0x010203u);
  EXPECT_EQ(Rgb(t.get(), 1, 0), 0x040506u);
}

}  // namespace
}  // namespace vl::test
