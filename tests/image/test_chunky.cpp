#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/chunky.h"
#include "test_support.h"

namespace vl::image {
namespace {

class Chunky : public vl::test::PoolTest {};

struct Argb {
  uint8_t a, r, g, b;
  bool operator==(const Argb&) const = default;
};

Argb Get(const ChunkyImage* c, int x, int y) {
  Argb p{1, 2, 3, 4};
  GetPixel(c, x, y, p.a, p.r, p.g, p.b);
  return p;
}

TEST_F(Chunky, BytesPerPixelTable) {
  const int expected[] = {3, 4, 2, 1, 2, 2, 2, 4, 1, 1, 2};
  for (uint32_t f = 0; f <= 10; ++f) EXPECT_EQ(BytesPerPixel(f), expected[f]) << "format " << f;
  EXPECT_EQ(BytesPerPixel(11u), 0);
  EXPECT_EQ(BytesPerPixel(0xFFFFFFFFu), 0);
  EXPECT_EQ(BytesPerPixel(static_cast<const ChunkyImage*>(nullptr)), 0);
}

TEST_F(Chunky, CreateRefusesBadSizesAndFormats) {
  EXPECT_EQ(chk_Create(0, 10, ARGB32, false), nullptr);
  EXPECT_EQ(chk_Create(10, 0, ARGB32, true), nullptr);
  EXPECT_EQ(chk_Create(-5, 10, ARGB32, false), nullptr);
  EXPECT_EQ(chk_Create(10, 10, 11, false), nullptr);
  // 65536 x 65536 x 4 overflows 32 bits; 100000 x 100000 exceeds the pixel limit.
  EXPECT_EQ(chk_Create(65536, 65536, ARGB32, false), nullptr);
  EXPECT_EQ(chk_Create(100000, 100000, RGB24, false), nullptr);
  EXPECT_EQ(chk_Create(0x7FFFFFFF, 2, GREY8, false), nullptr);
  EXPECT_FALSE(SizeAllowed(16384, 16385, GREY8));
  EXPECT_TRUE(SizeAllowed(16384, 16384, ARGB32));
}

TEST_F(Chunky, CreateZeroedAndDuplicate) {
  ChunkyPtr c(chk_Create(5, 3, RGB24, true));
  ASSERT_TRUE(c);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(c->pixels[i], 0);
  for (int i = 0; i < 45; ++i) c->pixels[i] = static_cast<uint8_t>(i * 5);
  ChunkyPtr d(chk_Duplicate(c.get()));
  ASSERT_TRUE(d);
  EXPECT_NE(d->pixels, c->pixels);
  EXPECT_EQ(d->width, 5);
  EXPECT_EQ(d->height, 3);
  EXPECT_EQ(d->format, RGB24);
  EXPECT_EQ(std::memcmp(d->pixels, c->pixels, 45), 0);
}

TEST_F(Chunky, DuplicateFailurePrintsItsMessage) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(chk_Duplicate(nullptr), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[CHKIMAGE]: chk_Duplicate: Not enough memory\n");
}

TEST_F(Chunky, PixelRulesPerFormat) {
  ChunkyPtr rgb(chk_Create(2, 2, RGB24, true));
  SetPixel(rgb.get(), 1, 1, 7, 10, 20, 30);
  EXPECT_EQ(Get(rgb.get(), 1, 1), (Argb{255, 10, 20, 30}));
  EXPECT_EQ(rgb->pixels[9], 10);

  ChunkyPtr argb(chk_Create(2, 1, ARGB32, true));
  SetPixel(argb.get(), 1, 0, 0x11, 0x22, 0x33, 0x44);
  EXPECT_EQ(argb->pixels[4], 0x11);  // big-endian: A, R, G, B
  EXPECT_EQ(argb->pixels[7], 0x44);
  EXPECT_EQ(Get(argb.get(), 1, 0), (Argb{0x11, 0x22, 0x33, 0x44}));

  ChunkyPtr r565(chk_Create(1, 1, RGB565, true));
  SetPixel(r565.get(), 0, 0, 0, 0xFF, 0x84, 0x0F);
  unsigned v = (unsigned{r565->pixels[0]} << 8) | r565->pixels[1];
  EXPECT_EQ(v, (31u << 11) | (0x21u << 5) | 1u);
  EXPECT_EQ(Get(r565.get(), 0, 0), (Argb{255, 0xF8, 0x84, 0x08}));

  ChunkyPtr a4(chk_Create(1, 1, ARGB4444, true));
  SetPixel(a4.get(), 0, 0, 0xFF, 0xFF, 0xFF, 0xFF);
  EXPECT_EQ(Get(a4.get(), 0, 0), (Argb{0xF0, 0xF0, 0xF0, 0xF0})) << "no rescaling on read";
  SetPixel(a4.get(), 0, 0, 0x9A, 0x5B, 0x37, 0xC1);
  EXPECT_EQ(Get(a4.get(), 0, 0), (Argb{0x90, 0x50, 0x30, 0xC0}));

  ChunkyPtr grey(chk_Create(1, 1, GREY8, true));
  SetPixel(grey.get(), 0, 0, 0, 255, 255, 254);
  EXPECT_EQ(grey->pixels[0], 254);
  EXPECT_EQ(Get(grey.get(), 0, 0), (Argb{255, 254, 254, 254}));

  ChunkyPtr alpha(chk_Create(1, 1, ALPHA8, true));
  SetPixel(alpha.get(), 0, 0, 77, 1, 2, 3);
  EXPECT_EQ(alpha->pixels[0], 77);
  EXPECT_EQ(Get(alpha.get(), 0, 0), (Argb{77, 255, 255, 255}));
}

TEST_F(Chunky, FormatsWithoutRulesNeitherReadNorWrite) {
  for (uint32_t f : {RGBA32, BYTE8, ARGB1555, WORD16, WORD16B}) {
    ChunkyPtr c(chk_Create(2, 2, f, true));
    ASSERT_TRUE(c);
    SetPixel(c.get(), 1, 1, 9, 9, 9, 9);
    size_t n = BufferBytes(2, 2, f);
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(c->pixels[i], 0) << "format " << f;
    EXPECT_EQ(Get(c.get(), 1, 1), (Argb{1, 2, 3, 4})) << "outputs keep the caller's values, format " << f;
  }
}

TEST_F(Chunky, FillSetsEveryPixel) {
  ChunkyPtr c(chk_Create(3, 2, ARGB32, false));
  Fill(c.get(), 1, 2, 3, 4);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Get(c.get(), x, y), (Argb{4, 1, 2, 3}));
}

TEST_F(Chunky, TexturesOwnTheirBuffersAndDuplicateWithoutTexts) {
  TexturePtr t(CreateTextureZeroed(4, 4, ARGB32));
  ASSERT_TRUE(t);
  t->name = "x.png";
  t->formatName = "PNG";
  t->chunky->pixels[5] = 99;
  TexturePtr d(DuplicateTexture(t.get()));
  ASSERT_TRUE(d);
  EXPECT_EQ(d->chunky->pixels[5], 99);
  EXPECT_TRUE(d->name.empty());
  EXPECT_TRUE(d->formatName.empty());
  EXPECT_EQ(DuplicateTexture(nullptr), nullptr);
  Texture bare;
  EXPECT_EQ(DuplicateTexture(&bare), nullptr);
  EXPECT_EQ(CreateTexture(0, 4, ARGB32), nullptr);
  FreeTexture(nullptr);
}

TEST_F(Chunky, WideningRules) {
  EXPECT_EQ(Widen4(15), 255);
  EXPECT_EQ(Widen4(8), 136);
  // The 5- and 6-bit rules fall just short of 255 at the top of their range.
  EXPECT_EQ(Widen5(31), 254);
  EXPECT_EQ(Widen5(16), 131);
  EXPECT_EQ(Widen5(1), 8);
  EXPECT_EQ(Widen6(63), 254);
  EXPECT_EQ(Widen6(32), 129);
  EXPECT_EQ(Widen6(1), 4);
  for (unsigned v = 0; v < 16; ++v) EXPECT_EQ(Widen4(v), v * 17);
}

TEST_F(Chunky, ConvertersFollowTheirRules) {
  const uint8_t argb[] = {0x10, 1, 2, 3, 0x80, 250, 251, 252};
  uint8_t out[8];
  ConvertARGB32ToRGB24(argb, out, 2, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 3, 250, 251, 252}));
  ConvertARGB32ToRGBA32(argb, out, 2, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{1, 2, 3, 0x10, 250, 251, 252, 0x80}));
  ConvertARGB32ToOpaque(argb, out, 2, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{255, 1, 2, 3, 255, 250, 251, 252}));
  const uint8_t rgba[] = {9, 8, 7, 6};
  ConvertRGBA32ToRGB24(rgba, out, 1, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{9, 8, 7}));
  const uint8_t rgb[] = {4, 5, 6};
  ConvertRGB24ToRGBA32(rgb, out, 1, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{4, 5, 6, 255}));
  const uint8_t grey[] = {42};
  ConvertGREY8ToRGB24(grey, out, 1, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{42, 42, 42}));
  ConvertALPHA8ToRGB24(grey, out, 1, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{255, 255, 255}));
  // ARGB4444 channel 15 reads as 240 through GetPixel but converts to 255 here.
  const uint8_t a4[] = {0xFF, 0x81};  // A=F R=F G=8 B=1
  ConvertARGB4444ToRGB24(a4, out, 1, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{255, 136, 17}));
  const uint8_t r565[] = {0xFF, 0xFF, 0x08, 0x21};  // all bits set; r=1 g=1 b=1
  ConvertRGB565ToRGB24(r565, out, 2, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{254, 254, 254, 8, 4, 8}));
}

TEST_F(Chunky, BackwardConvertersWidenInPlace) {
  const int w = 7, h = 3, n = w * h;
  std::vector<uint8_t> buf(static_cast<size_t>(n) * 4);
  for (int i = 0; i < n * 3; ++i) buf[i] = static_cast<uint8_t>(i * 7 + 1);
  std::vector<uint8_t> src(buf.begin(), buf.begin() + n * 3);
  ConvertRGB24ToARGB32(buf.data(), buf.data(), w, h);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(buf[i * 4], 255);
    EXPECT_EQ(buf[i * 4 + 1], src[i * 3]);
    EXPECT_EQ(buf[i * 4 + 2], src[i * 3 + 1]);
    EXPECT_EQ(buf[i * 4 + 3], src[i * 3 + 2]);
  }
  for (int i = 0; i < n; ++i) buf[i] = static_cast<uint8_t>(i * 11);
  ConvertGREY8ToARGB32(buf.data(), buf.data(), w, h);
  for (int i = 0; i < n; ++i) {
    uint8_t g = static_cast<uint8_t>(i * 11);
    EXPECT_EQ(buf[i * 4], 255);
    EXPECT_EQ(buf[i * 4 + 1], g);
    EXPECT_EQ(buf[i * 4 + 3], g);
  }
  // RGB24 -> RGB24 handles overlapping buffers.
  std::vector<uint8_t> o = {1, 2, 3, 4, 5, 6, 0, 0, 0};
  ConvertRGB24ToRGB24(o.data(), o.data() + 3, 2, 1);
  EXPECT_EQ(o, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6}));
}

TEST(FitSize, ReducesEnlargesAndNeverGivesZero) {
  auto s = FitSize(400, 300, 100, 100);
  EXPECT_EQ(s.width, 100);
  EXPECT_EQ(s.height, 75);
  s = FitSize(300, 400, 100, 100);
  EXPECT_EQ(s.width, 75);
  EXPECT_EQ(s.height, 100);
  s = FitSize(1, 1000, 100, 100);
  EXPECT_EQ(s.width, 1);
  EXPECT_EQ(s.height, 100);
  s = FitSize(10, 5, 200, 200);
  EXPECT_EQ(s.width, 200);
  EXPECT_EQ(s.height, 100);
  s = FitSize(0, 0, 100, 100);  // degenerate input stays defined
  EXPECT_GE(s.width, 1);
  EXPECT_GE(s.height, 1);
}

TEST(LumaChroma, PackUsesTheFirstPixelForUAndTheSecondForV) {
  const uint8_t rgb[] = {255, 0, 0, 0, 0, 255};
  uint8_t packed[4] = {};
  PackLumaChroma(rgb, packed, 2, 1);
  EXPECT_EQ(packed[0], ((66 * 255 + 128) >> 8) + 16);
  EXPECT_EQ(packed[1], ((-38 * 255 + 128) >> 8) + 128);
  EXPECT_EQ(packed[2], ((25 * 255 + 128) >> 8) + 16);
  EXPECT_EQ(packed[3], ((-18 * 255 + 128) >> 8) + 128);
}

TEST(LumaChroma, RoundTripStaysClose) {
  const int w = 8, h = 2;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3), packed(static_cast<size_t>(w) * h * 2), back(rgb.size());
  for (int i = 0; i < w * h; ++i) {
    // neighbouring pixels share a colour, so that the shared chroma is right for both
    int base = (i / 2) * 29;
    rgb[i * 3] = static_cast<uint8_t>(base % 256);
    rgb[i * 3 + 1] = static_cast<uint8_t>((base * 3) % 256);
    rgb[i * 3 + 2] = static_cast<uint8_t>((base * 7) % 256);
  }
  PackLumaChroma(rgb.data(), packed.data(), w, h);
  UnpackLumaChroma(packed.data(), back.data(), w, h);
  for (size_t i = 0; i < rgb.size(); ++i) EXPECT_NEAR(back[i], rgb[i], 4) << "byte " << i;
}

TEST(LumaChroma, OddWidthRepeatsTheSecondToLastPixelAndTinyWidthsDoNothing) {
  const int w = 3;
  std::vector<uint8_t> packed = {100, 90, 150, 200, 7, 7};
  std::vector<uint8_t> out(9, 0xEE);
  UnpackLumaChroma(packed.data(), out.data(), w, 1);
  EXPECT_EQ(out[6], out[3]);
  EXPECT_EQ(out[7], out[4]);
  EXPECT_EQ(out[8], out[5]);
  std::vector<uint8_t> one(3, 0xEE), p1(2, 0x55);
  UnpackLumaChroma(p1.data(), one.data(), 1, 4);
  PackLumaChroma(one.data(), p1.data(), 1, 4);
  EXPECT_EQ(one, (std::vector<uint8_t>(3, 0xEE)));
  EXPECT_EQ(p1, (std::vector<uint8_t>(2, 0x55)));
}

TEST(LumaChroma, UnpackClampsAndUsesGreenCoefficient200) {
  // Y=235, U=128, V=128 is white; Y=16 black; V far from 128 exercises the green rule.
  const uint8_t packed[] = {235, 128, 16, 128, 128, 128, 128, 240};
  uint8_t out[12];
  UnpackLumaChroma(packed, out, 4, 1);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[5], 0);
  int c = 298 * 128 - 4768, d = 0, e = 240 - 128;
  auto clampShift = [](int s) {
    int v = s >> 8;
    return v < 0 ? 0 : v > 255 ? 255 : v;
  };
  EXPECT_EQ(out[6], clampShift(c + 409 * e + 128));
  EXPECT_EQ(out[7], clampShift(c - 100 * d - 200 * e + 128));
  EXPECT_EQ(out[8], clampShift(c + 516 * d + 128));
}

}  // namespace
}  // namespace vl::image
