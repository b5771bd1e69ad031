// The own readers: BMP, PNM and ILBM files built byte by byte.
#include "formats/decoders.h"
#include "formats/loader.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class BmpDecoderTest : public LoaderTest {};

Bytes Palette(std::initializer_list<uint32_t> rgb) {
  Bytes p;
  for (uint32_t c : rgb) p.insert(p.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});  // B, G, R, 0
  return p;
}

TEST_F(BmpDecoderTest, TwentyFourBitBottomUpWithRowPadding) {
  // 3 x 2: each row 9 bytes padded to 12; the first stored row is the bottom one.
  Bytes body = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,   // bottom: red, green, blue
                1, 2, 3,   4, 5,   6, 7,   8, 9, 0, 0, 0};  // top
  auto t = Load("a.bmp", BuildBmp(3, 2, 24, 0, {}, body));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->formatName, "BMP");
  EXPECT_EQ(Argb(t.get(), 0, 1), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 1, 1), 0xFF00FF00u);
  EXPECT_EQ(Argb(t.get(), 2, 1), 0xFF0000FFu);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF030201u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFF090807u);
}

TEST_F(BmpDecoderTest, TopDownRows) {
  Bytes body = {0, 0, 255, 0, 0, 255, 0, 0};  // 1 x 2, rows padded to 4 bytes
  auto t = Load("a.bmp", BuildBmp(1, -2, 24, 0, {}, body));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 0, 1), 0xFF00FF00u);
}

TEST_F(BmpDecoderTest, PaletteDepths) {
  Bytes pal2 = Palette({0x000000, 0xFFFFFF});
  auto one = Load("1.bmp", BuildBmp(10, 1, 1, 0, pal2, {0xA0, 0x40, 0, 0}));  // 1010 0000 01
  ASSERT_TRUE(one);
  EXPECT_EQ(Argb(one.get(), 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(one.get(), 1, 0), 0xFF000000u);
  EXPECT_EQ(Argb(one.get(), 2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(one.get(), 9, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(one.get(), 8, 0), 0xFF000000u);

  Bytes pal16 = Palette({0x000000, 0x112233, 0x445566});
  auto four = Load("4.bmp", BuildBmp(3, 1, 4, 0, pal16, {0x12, 0x00, 0, 0}));
  ASSERT_TRUE(four);
  EXPECT_EQ(Argb(four.get(), 0, 0), 0xFF112233u);
  EXPECT_EQ(Argb(four.get(), 1, 0), 0xFF445566u);
  EXPECT_EQ(Argb(four.get(), 2, 0), 0xFF000000u);

  auto eight = Load("8.bmp", BuildBmp(2, 1, 8, 0, pal16, {2, 200, 0, 0}));
  ASSERT_TRUE(eight);
  EXPECT_EQ(Argb(eight.get(), 0, 0), 0xFF445566u);
  EXPECT_EQ(Argb(eight.get(), 1, 0), 0xFF000000u);  // index past the palette: black
}

TEST_F(BmpDecoderTest, ThirtyTwoBitPlainIsOpaqueAndBitfieldsKeepAlpha) {
  Bytes body = {0x30, 0x20, 0x10, 0x00};  // B, G, R, X
  auto plain = Load("a.bmp", BuildBmp(1, 1, 32, 0, {}, body));
  ASSERT_TRUE(plain);
  EXPECT_EQ(Argb(plain.get(), 0, 0), 0xFF102030u);
  Bytes v5 = BuildBmp(1, 1, 32, 3, {}, {0x30, 0x20, 0x10, 0x40}, 124, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000});
  auto alpha = Load("b.bmp", v5);
  ASSERT_TRUE(alpha);
  EXPECT_EQ(Argb(alpha.get(), 0, 0), 0x40102030u);
}

TEST_F(BmpDecoderTest, AlphaMasksMustLieInsideTheHeader) {
  // Found by fuzzing: a 52-byte header with alpha bit fields in a file that ends with the
  // header; the alpha mask was read from past the end of the data.
  std::vector<uint8_t> found =
      ReadFile(std::string(VISTALOOM_SOURCE_DIR) + "/fuzz/corpus/bmp/regress-alpha-masks-past-header");
  ASSERT_EQ(found.size(), 66u);
  formats::DecodedPicture pic;
  EXPECT_FALSE(formats::DecodeBmp(found.data(), found.size(), pic));
  // A 56-byte header holds all four masks and still decodes.
  Bytes v3 = BuildBmp(1, 1, 32, 6, {}, {0x30, 0x20, 0x10, 0x40}, 56, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000});
  auto alpha = Load("c.bmp", v3);
  ASSERT_TRUE(alpha);
  EXPECT_EQ(Argb(alpha.get(), 0, 0), 0x40102030u);
}

TEST_F(BmpDecoderTest, SixteenBitFields) {
  // 565: pure red 0xF800, pure green 0x07E0 and 555 default: 0x7C00 is red.
  auto f565 = Load("a.bmp", BuildBmp(2, 1, 16, 3, {}, {0x00, 0xF8, 0xE0, 0x07}, 40, {0xF800, 0x07E0, 0x001F}));
  ASSERT_TRUE(f565);
  EXPECT_EQ(Argb(f565.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(f565.get(), 1, 0), 0xFF00FF00u);
  auto f555 = Load("b.bmp", BuildBmp(1, 1, 16, 0, {}, {0x00, 0x7C, 0, 0}));
  ASSERT_TRUE(f555);
  EXPECT_EQ(Argb(f555.get(), 0, 0), 0xFFFF0000u);
}

TEST_F(BmpDecoderTest, RunLengthEncoded) {
  Bytes pal = Palette({0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
  // RLE8, 4 x 2, bottom-up. Bottom row: a run of 3 x index 1, then an absolute run of the
  // 3 pixels 2, 3, 1 (padded to an even length) of which only the first fits the width,
  // end of line. Top row: a delta of one pixel right, a run of 1 x index 3, end of bitmap.
  Bytes rle8 = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 0, 1, 3, 0, 1};
  auto t = Load("a.bmp", BuildBmp(4, 2, 8, 1, pal, rle8));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 1), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 2, 1), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 3, 1), 0xFF00FF00u);
  // Top row: skipped pixel 0 is index 0, then index 3.
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF0000FFu);

  Bytes rle4 = {4, 0x12, 0, 1};  // 4 pixels alternating 1, 2
  auto u = Load("b.bmp", BuildBmp(4, 1, 4, 2, pal, rle4));
  ASSERT_TRUE(u);
  EXPECT_EQ(Argb(u.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(u.get(), 1, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(u.get(), 2, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(u.get(), 3, 0), 0xFF00FF00u);
}

class PnmDecoderTest : public LoaderTest {};

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

TEST_F(PnmDecoderTest, PlainFormats) {
  auto p1 = Load("a.pbm", Text("P1\n# comment\n3 1\n1 0\n1\n"));
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->formatName, "PNM");
  EXPECT_EQ(Argb(p1.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(p1.get(), 1, 0), 0xFFFFFFFFu);
  auto packed = Load("b.pbm", Text("P1 3 1 101"));  // plain bits need no separators
  ASSERT_TRUE(packed);
  EXPECT_EQ(Argb(packed.get(), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(packed.get(), 2, 0), 0xFF000000u);

  auto p2 = Load("a.pgm", Text("P2 2 1 15 0 15"));
  ASSERT_TRUE(p2);
  EXPECT_EQ(Argb(p2.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(p2.get(), 1, 0), 0xFFFFFFFFu);
  auto p3 = Load("a.ppm", Text("P3\n1 1\n100\n100 50 0\n"));
  ASSERT_TRUE(p3);
  EXPECT_EQ(Argb(p3.get(), 0, 0), 0xFFFF8000u);  // 50 of 100 rounds to 128
}

TEST_F(PnmDecoderTest, RawFormats) {
  Bytes p4 = Text("P4\n10 2\n");
  p4.insert(p4.end(), {0x80, 0x40, 0xFF, 0xC0});
  auto a = Load("a.pbm", p4);
  ASSERT_TRUE(a);
  EXPECT_EQ(Argb(a.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(a.get(), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(a.get(), 9, 0), 0xFF000000u);
  EXPECT_EQ(Argb(a.get(), 8, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(a.get(), 9, 1), 0xFF000000u);

  Bytes p5 = Text("P5 2 1 255\n");
  p5.insert(p5.end(), {7, 250});
  auto b = Load("a.pgm", p5);
  ASSERT_TRUE(b);
  EXPECT_EQ(Argb(b.get(), 0, 0), 0xFF070707u);
  EXPECT_EQ(Argb(b.get(), 1, 0), 0xFFFAFAFAu);

  Bytes p6 = Text("P6 1 1 65535\n");
  p6.insert(p6.end(), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00});
  auto c = Load("a.ppm", p6);
  ASSERT_TRUE(c);
  EXPECT_EQ(Argb(c.get(), 0, 0), 0xFFFF8000u);

  Bytes over = Text("P5 1 1 100\n");
  over.push_back(200);  // above maxval: clamped
  auto d = Load("b.pgm", over);
  ASSERT_TRUE(d);
  EXPECT_EQ(Argb(d.get(), 0, 0), 0xFFFFFFFFu);
}

class IlbmDecoderTest : public LoaderTest {};

std::vector<uint32_t> RgbValues(int w, int h) {
  std::vector<uint32_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v.push_back(uint32_t(x * 13 + 1) | uint32_t(y * 29 + 2) << 8 | uint32_t(x ^ y) << 16);
  return v;
}

TEST_F(IlbmDecoderTest, DeepPicturesUncompressedAndByteRun1) {
  const int w = 17, h = 5;  // 17 pixels: rows of 4 bytes per plane
  std::vector<uint32_t> v = RgbValues(w, h);
  for (int compression : {0, 1}) {
    auto t = Load("a.iff", BuildIlbm(w, h, 24, v, {}, compression, 0, true));
    ASSERT_TRUE(t) << compression;
    EXPECT_EQ(t->formatName, "ILBM");
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint32_t c = v[y * w + x];
        uint32_t want = 0xFF000000u | (c & 255) << 16 | ((c >> 8) & 255) << 8 | ((c >> 16) & 255);
        ASSERT_EQ(Argb(t.get(), x, y), want) << x << "," << y;
      }
  }
}

TEST_F(IlbmDecoderTest, ThirtyTwoPlanesCarryAlpha) {
  std::vector<uint32_t> v = {0x00332211u, 0x80665544u, 0xFF998877u};
  auto t = Load("a.iff", BuildIlbm(3, 1, 32, v, {}, 1));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0x00112233u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0x80445566u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFF778899u);
}

TEST_F(IlbmDecoderTest, ColourMappedAndEhbAndHam) {
  Bytes cmap = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  auto t = Load("a.iff", BuildIlbm(4, 1, 2, {0, 1, 2, 3}, cmap, 1));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 3, 0), 0xFF0000FFu);

  Bytes cmap32(32 * 3, 0);
  cmap32[3] = 200, cmap32[4] = 100, cmap32[5] = 50;
  auto e = Load("e.iff", BuildIlbm(2, 1, 6, {1, 33}, cmap32, 0, 0x80));
  ASSERT_TRUE(e);
  EXPECT_EQ(Argb(e.get(), 0, 0), 0xFFC86432u);
  EXPECT_EQ(Argb(e.get(), 1, 0), 0xFF643219u);  // extra half-bright

  // HAM6: palette 1, then modify blue to 15, red to 0, green to 8.
  Bytes cmap16(16 * 3, 0);
  cmap16[3] = 0x11, cmap16[4] = 0x22, cmap16[5] = 0x33;
  auto hm = Load("h.iff", BuildIlbm(4, 1, 6, {0x01, 0x1F, 0x20, 0x38}, cmap16, 1, 0x800));
  ASSERT_TRUE(hm);
  EXPECT_EQ(Argb(hm.get(), 0, 0), 0xFF112233u);
  EXPECT_EQ(Argb(hm.get(), 1, 0), 0xFF1122FFu);
  EXPECT_EQ(Argb(hm.get(), 2, 0), 0xFF0022FFu);
  EXPECT_EQ(Argb(hm.get(), 3, 0), 0xFF0088FFu);
}

TEST_F(IlbmDecoderTest, OddLengthChunksArePadded) {
  Bytes ilbm = BuildIlbm(2, 1, 24, {0x010203, 0x040506}, {}, 1);
  Bytes anno = {'A', 'N', 'N', 'O', 0, 0, 0, 3, 'a', 'b', 'c', 0};
  ilbm.insert(ilbm.begin() + 12, anno.begin(), anno.end());
  uint32_t form = formats::decode::Be32(ilbm.data() + 4) + static_cast<uint32_t>(anno.size());
  for (int i = 0; i < 4; ++i) ilbm[4 + i] = static_cast<uint8_t>(form >> (24 - 8 * i));
  auto t = Load("a.iff", ilbm);
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF030201u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF060504u);
}

TEST_F(IlbmDecoderTest, NoColourMapGivesGreyRamp) {
  auto t = Load("a.iff", BuildIlbm(2, 1, 1, {0, 1}, {}, 0));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace vl::test
