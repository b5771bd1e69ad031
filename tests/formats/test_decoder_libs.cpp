// GIF, TIFF, WebP and JPEG pictures written by the libraries' own encoders.
#include <tiffio.h>

#include <cstdlib>

#include "formats/decoders.h"
#include "formats/loader.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class GifDecoderTest : public LoaderTest {};

TEST_F(GifDecoderTest, IndexedFrameMapsThroughColourMap) {
  Bytes pal = {0, 0, 0, 255, 0, 0, 0, 255, 0, 1, 2, 3};
  Bytes idx = {0, 1, 2, 3, 3, 2};
  auto t = Load("a.gif", EncodeGif(3, 2, idx, pal, 2, -1, false));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->formatName, "GIF");
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 2, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(t.get(), 0, 1), 0xFF010203u);
  EXPECT_EQ(Argb(t.get(), 2, 1), 0xFF00FF00u);
}

TEST_F(GifDecoderTest, TransparentIndexHasAlphaZero) {
  Bytes pal = {10, 20, 30, 40, 50, 60};
  auto t = Load("a.gif", EncodeGif(2, 1, {0, 1}, pal, 1, 1, false));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF0A141Eu);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0x0028323Cu);
}

TEST_F(GifDecoderTest, InterlacedRowsLandInPlace) {
  const int w = 3, h = 13;
  Bytes pal(256 * 3);
  for (int i = 0; i < 256; ++i) pal[i * 3] = static_cast<uint8_t>(i);
  Bytes idx;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) idx.push_back(static_cast<uint8_t>(y * 10 + x));
  auto t = Load("a.gif", EncodeGif(w, h, idx, pal, 8, -1, true));
  ASSERT_TRUE(t);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(Argb(t.get(), x, y), 0xFF000000u | uint32_t(y * 10 + x) << 16) << y;
}

class TiffDecoderTest : public LoaderTest {};

TEST_F(TiffDecoderTest, RgbInEveryCompression) {
  Bytes rgb;
  for (int i = 0; i < 5 * 3; ++i) rgb.insert(rgb.end(), {uint8_t(i * 17), uint8_t(255 - i), uint8_t(i)});
  for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS}) {
    auto t = Load("a.tif", EncodeTiff(5, 3, 3, rgb, compression));
    ASSERT_TRUE(t) << compression;
    EXPECT_EQ(t->formatName, "TIFF");
    for (int i = 0; i < 15; ++i)
      ASSERT_EQ(Argb(t.get(), i % 5, i / 5),
                0xFF000000u | uint32_t(i * 17) << 16 | uint32_t(255 - i) << 8 | uint32_t(i));
  }
}

TEST_F(TiffDecoderTest, GreyAndAlpha) {
  auto g = Load("g.tif", EncodeTiff(2, 1, 1, {0x10, 0xF0}, COMPRESSION_NONE));
  ASSERT_TRUE(g);
  EXPECT_EQ(Argb(g.get(), 0, 0), 0xFF101010u);
  EXPECT_EQ(Argb(g.get(), 1, 0), 0xFFF0F0F0u);
  auto a = Load("a.tif", EncodeTiff(3, 1, 4, {200, 100, 50, 255, 9, 9, 9, 0, 200, 100, 50, 128}, COMPRESSION_NONE));
  ASSERT_TRUE(a);
  EXPECT_EQ(Argb(a.get(), 0, 0), 0xFFC86432u);
  EXPECT_EQ(Argb(a.get(), 1, 0) >> 24, 0u);
  // Half alpha: the colour comes back within rounding of what was written.
  uint32_t half = Argb(a.get(), 2, 0);
  EXPECT_EQ(half >> 24, 128u);
  EXPECT_NEAR(double((half >> 16) & 255), 200, 1);
  EXPECT_NEAR(double((half >> 8) & 255), 100, 1);
  EXPECT_NEAR(double(half & 255), 50, 1);
}

class WebpDecoderTest : public LoaderTest {};

TEST_F(WebpDecoderTest, LosslessWithAndWithoutAlpha) {
  Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 10, 0, 0, 255, 0, 7, 8, 9, 255};
  auto a = Load("a.webp", EncodeWebpLossless(2, 2, rgba, true));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->formatName, "WebP");
  EXPECT_EQ(Argb(a.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(a.get(), 1, 0), 0x0A00FF00u);
  EXPECT_EQ(Argb(a.get(), 0, 1) >> 24, 0u);
  EXPECT_EQ(Argb(a.get(), 1, 1), 0xFF070809u);
  auto o = Load("o.webp", EncodeWebpLossless(2, 2, rgba, false));
  ASSERT_TRUE(o);
  EXPECT_EQ(Argb(o.get(), 1, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(o.get(), 0, 1), 0xFF0000FFu);
}

class JpegDecoderTest : public LoaderTest {};

void ExpectNear(uint32_t got, uint32_t want, int tolerance) {
  EXPECT_EQ(got >> 24, want >> 24);
  for (int s = 0; s < 24; s += 8)
    EXPECT_NEAR(double((got >> s) & 255), double((want >> s) & 255), tolerance) << std::hex << got << " vs " << want;
}

TEST_F(JpegDecoderTest, RgbAndGreyOfAnyName) {
  Bytes rgb;
  for (int i = 0; i < 16 * 16; ++i) rgb.insert(rgb.end(), {200, 40, 90});
  for (const char* name : {"a.jpeg", "a.jfif", "noname"}) {
    auto t = Load(name, EncodeJpeg(16, 16, 3, rgb));
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(t->formatName, "JPEG");
    ExpectNear(Argb(t.get(), 5, 5), 0xFFC8285Au, 3);
  }
  auto g = Load("g.jpeg", EncodeJpeg(8, 8, 1, Bytes(64, 0x80)));
  ASSERT_TRUE(g);
  ExpectNear(Argb(g.get(), 3, 3), 0xFF808080u, 1);
}

TEST_F(JpegDecoderTest, AdobeCmykIsInverted) {
  // Adobe files store the inks inverted: red is C=0, M=Y=255, K=0, stored as 255, 0, 0, 255.
  Bytes cmyk;
  for (int i = 0; i < 64; ++i) cmyk.insert(cmyk.end(), {255, 0, 0, 255});
  Bytes jpeg = EncodeJpeg(8, 8, 4, cmyk);
  auto t = Load("c.jpeg", jpeg);
  ASSERT_TRUE(t);
  ExpectNear(Argb(t.get(), 4, 4), 0xFFFF0000u, 3);
}

TEST_F(JpegDecoderTest, JpgNameFallsBackToSystemDecoder) {
  Bytes rgb(8 * 8 * 3, 0x20);
  auto t = Load("photo.JPG", EncodeJpeg(8, 8, 3, rgb));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->formatName, "JPEG");
  ExpectNear(Argb(t.get(), 0, 0), 0xFF202020u, 2);
}

TEST_F(JpegDecoderTest, TruncatedDataIsRefused) {
  Bytes rgb;
  for (int i = 0; i < 64 * 64; ++i) rgb.insert(rgb.end(), {uint8_t(i), uint8_t(i * 3), uint8_t(i * 7)});
  Bytes jpeg = EncodeJpeg(64, 64, 3, rgb);
  jpeg.resize(jpeg.size() / 2);
  formats::DecodedPicture pic;
  EXPECT_FALSE(formats::DecodeMemory(jpeg.data(), jpeg.size(), pic));
  EXPECT_FALSE(pic.pixels);
}

}  // namespace
}  // namespace vl::test
