#include <gtest/gtest.h>

#include "formats/decoders.h"
#include "formats/loader.h"
#include "formats/sunraster.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class SunRasterTest : public LoaderTest {};

TEST_F(SunRasterTest, TwentyFourBitFirstPixelRed) {
  Bytes body = {0x00, 0x00, 0xFF, 0x10, 0x20, 0x30};  // B, G, R per pixel
  std::string path = Write("a.ras", BuildSunRaster(2, 1, 24, 1, {}, body));
  image::TexturePtr t(formats::ReadSunRaster(path.c_str()));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->chunky->format, image::ARGB32);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF302010u);
  image::TexturePtr s(formats::ReadSunRasterForScan(path.c_str()));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->chunky->format, image::RGB24);
  EXPECT_EQ(Rgb(s.get(), 0, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(s.get(), 1, 0), 0x302010u);
}

TEST_F(SunRasterTest, ThirtyTwoBitPadByteBecomesAlpha) {
  Bytes body = {0x00, 0x01, 0x02, 0x03, 0x00, 0xFF, 0x00, 0x00};  // X, B, G, R
  std::string path = Write("a.ras32", BuildSunRaster(2, 1, 32, 1, {}, body));
  image::TexturePtr t(formats::ReadSunRaster(path.c_str()));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0x00030201u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0x000000FFu);
  image::TexturePtr s(formats::ReadSunRasterForScan(path.c_str()));
  ASSERT_TRUE(s);
  EXPECT_EQ(Rgb(s.get(), 0, 0), 0x030201u);
  EXPECT_EQ(Rgb(s.get(), 1, 0), 0x0000FFu);
}

TEST_F(SunRasterTest, RgbTypeKeepsItsOrder) {
  Bytes body24 = {0xFF, 0x00, 0x00, 0x01, 0x02, 0x03};  // R, G, B
  std::string p24 = Write("a.ras", BuildSunRaster(2, 1, 24, 3, {}, body24));
  image::TexturePtr t(formats::ReadSunRaster(p24.c_str()));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF010203u);
  image::TexturePtr s(formats::ReadSunRasterForScan(p24.c_str()));
  ASSERT_TRUE(s);
  EXPECT_EQ(Rgb(s.get(), 1, 0), 0x010203u);
  Bytes body32 = {0x7F, 0x0A, 0x0B, 0x0C};  // X, R, G, B
  std::string p32 = Write("b.ras", BuildSunRaster(1, 1, 32, 3, {}, body32));
  image::TexturePtr u(formats::ReadSunRaster(p32.c_str()));
  ASSERT_TRUE(u);
  EXPECT_EQ(Argb(u.get(), 0, 0), 0x7F0A0B0Cu);
}

TEST_F(SunRasterTest, BuiltInRefusesWhatItCannotRead) {
  Bytes body(8, 0);
  Bytes full = BuildSunRaster(2, 1, 24, 1, {}, body);
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"little-endian magic", BuildSunRaster(2, 1, 24, 1, {}, body, 0x956AA659u)},
      {"depth 8", BuildSunRaster(2, 1, 8, 1, {}, body)},
      {"run-length", BuildSunRaster(2, 1, 24, 2, {}, body)},
      {"colour map", BuildSunRaster(2, 1, 24, 1, {1, 2, 3}, body)},
      {"odd width, padded rows", BuildSunRaster(1, 1, 24, 1, {}, {1, 2, 3, 0})},
      {"zero width", BuildSunRaster(0, 1, 24, 1, {}, body)},
      {"three header words", Bytes(full.begin(), full.begin() + 12)},
      {"empty", Bytes()},
  };
  for (const Case& c : cases) {
    std::string path = Write("x.ras", c.file);
    testing::internal::CaptureStdout();
    image::TexturePtr t(formats::ReadSunRaster(path.c_str()));
    image::TexturePtr s(formats::ReadSunRasterForScan(path.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.what;
    EXPECT_FALSE(t) << c.what;
    EXPECT_FALSE(s) << c.what;
  }
}

TEST_F(SunRasterTest, TruncatedFilePrintsIoErrorAndFallsBack) {
  Bytes body = {0, 0, 0xFF, 0, 0, 0xFF};
  Bytes file = BuildSunRaster(2, 2, 24, 1, {}, body);  // claims 12 bytes, holds 6
  std::string path = Write("t.ras24", file);
  testing::internal::CaptureStdout();
  image::TexturePtr t(formats::ReadSunRaster(path.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Sunraster]: IO Error\n");
  EXPECT_FALSE(t);
  // A header cut after its fourth word cannot hold any pixels either.
  std::string headerOnly = Write("h.ras", Bytes(file.begin(), file.begin() + 20));
  testing::internal::CaptureStdout();
  image::TexturePtr h(formats::ReadSunRasterForScan(headerOnly.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Sunraster]: IO Error\n");
  EXPECT_FALSE(h);
  // ReadPicture then hands it to the system decoder, which refuses it as well.
  testing::internal::CaptureStdout();
  image::TexturePtr u(formats::ReadPicture(path.c_str()));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(u);
  EXPECT_EQ(out.rfind("[Sunraster]: IO Error\n", 0), 0u) << out;
}

TEST_F(SunRasterTest, SystemDecoderReadsPaddedMappedAndEncodedFiles) {
  // Odd width: each 3-byte row padded to 4.
  auto odd = Load("odd.ras", BuildSunRaster(1, 2, 24, 1, {}, {0x03, 0x02, 0x01, 0xEE, 0x06, 0x05, 0x04, 0xEE}));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->formatName, "Sun Raster");
  EXPECT_EQ(Argb(odd.get(), 0, 0), 0xFF010203u);
  EXPECT_EQ(Argb(odd.get(), 0, 1), 0xFF040506u);

  // 8 bits with a colour map of 2 entries (all reds, then all greens, then all blues).
  auto mapped = Load("m.ras", BuildSunRaster(2, 1, 8, 1, {10, 20, 30, 40, 50, 60}, {1, 0}));
  ASSERT_TRUE(mapped);
  EXPECT_EQ(Argb(mapped.get(), 0, 0), 0xFF14283Cu);
  EXPECT_EQ(Argb(mapped.get(), 1, 0), 0xFF0A1E32u);

  // Run-length: 0x80 n v is n + 1 copies, 0x80 0 is one 0x80 byte.
  Bytes rle = {0x80, 0x05, 0x11, 0x80, 0x00, 0x22, 0x33, 0x44, 0x55, 0x66};
  auto enc = Load("r.ras", BuildSunRaster(4, 1, 24, 2, {}, rle));
  ASSERT_TRUE(enc);
  EXPECT_EQ(Argb(enc.get(), 0, 0), 0xFF111111u);
  EXPECT_EQ(Argb(enc.get(), 1, 0), 0xFF111111u);
  EXPECT_EQ(Argb(enc.get(), 2, 0), 0xFF332280u);
  EXPECT_EQ(Argb(enc.get(), 3, 0), 0xFF665544u);

  // One bit deep, no map: 0 is white, 1 black; rows padded to 16 bits.
  auto mono = Load("b.ras", BuildSunRaster(3, 2, 1, 1, {}, {0xA0, 0, 0x40, 0}));
  ASSERT_TRUE(mono);
  EXPECT_EQ(Argb(mono.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(mono.get(), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Argb(mono.get(), 1, 1), 0xFF000000u);
}

}  // namespace
}  // namespace vl::test
