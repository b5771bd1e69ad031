// The JPEG reader and writer: colour spaces, sampling, the saved files, and bad input.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "image/pool.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using image::TexturePtr;
using test::Bytes;
using test::Decoded;
using test::JpegParams;

class JpegTest : public test::PoolTest {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::string p = dir_.file(name);
    test::WriteFile(p, bytes);
    return p;
  }
  std::vector<std::string> DirNames() {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir_.path().c_str());
    while (dirent* e = d ? ::readdir(d) : nullptr)
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    if (d) ::closedir(d);
    return names;
  }
  test::TempDir dir_;
};

// Every pixel of an ARGB32 texture: alpha 255 and the colour of the reference.
void ExpectArgbMatches(const image::Texture* t, const Decoded& ref, const uint8_t* rgb) {
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->chunky->format, image::ARGB32);
  ASSERT_EQ(t->chunky->width, ref.width);
  ASSERT_EQ(t->chunky->height, ref.height);
  const size_t n = static_cast<size_t>(ref.width) * ref.height;
  size_t bad = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = t->chunky->pixels + i * 4;
    if (p[0] != 255 || p[1] != rgb[i * 3] || p[2] != rgb[i * 3 + 1] || p[3] != rgb[i * 3 + 2]) ++bad;
  }
  EXPECT_EQ(bad, 0u);
}

Bytes GreyToRgb(const Bytes& grey) {
  Bytes rgb;
  for (uint8_t g : grey) rgb.insert(rgb.end(), {g, g, g});
  return rgb;
}

// The colours of inverted CMYK: R = C x K / 255, rounded, and so on.
Bytes InvertedCmykToRgb(const Bytes& cmyk) {
  Bytes rgb;
  for (size_t i = 0; i + 3 < cmyk.size(); i += 4) {
    const int k = cmyk[i + 3];
    for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<uint8_t>((cmyk[i + c] * k + 127) / 255));
  }
  return rgb;
}

TEST_F(JpegTest, ReadsRgbAtBothSamplings) {
  for (int samp : {1, 2}) {
    JpegParams params;
    params.width = 37;
    params.height = 21;
    params.hSamp = params.vSamp = samp;
    const Bytes file = test::EncodeJpeg(params, test::Pattern(37, 21, 3));
    const Decoded ref = test::DecodeReference(file);
    ASSERT_EQ(ref.hSamp[0], samp);
    const std::string path = Write("rgb.jpg", file);
    TexturePtr argb(ReadJpeg(path.c_str()));
    ExpectArgbMatches(argb.get(), ref, ref.pixels.data());
    TexturePtr rgb(ReadJpegForCache(path.c_str()));
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->chunky->format, image::RGB24);
    ASSERT_EQ(rgb->chunky->width, 37);
    EXPECT_EQ(Bytes(rgb->chunky->pixels, rgb->chunky->pixels + ref.pixels.size()), ref.pixels);
  }
}

TEST_F(JpegTest, ReadsProgressiveFiles) {
  JpegParams params;
  params.progressive = true;
  const Bytes file = test::EncodeJpeg(params, test::Pattern(16, 16, 3));
  const Decoded ref = test::DecodeReference(file);
  TexturePtr t(ReadJpeg(Write("p.jpg", file).c_str()));
  ExpectArgbMatches(t.get(), ref, ref.pixels.data());
}

TEST_F(JpegTest, ReadsGreyAsOpaqueGrey) {
  JpegParams params;
  params.width = 19;
  params.height = 7;
  params.components = 1;
  params.in = JCS_GRAYSCALE;
  params.hSamp = params.vSamp = 1;
  const Bytes file = test::EncodeJpeg(params, test::Pattern(19, 7, 1));
  const Decoded ref = test::DecodeReference(file);
  ASSERT_EQ(ref.components, 1);
  const std::string path = Write("grey.jpg", file);
  TexturePtr t(ReadJpeg(path.c_str()));
  ExpectArgbMatches(t.get(), ref, GreyToRgb(ref.pixels).data());
  TexturePtr c(ReadJpegForCache(path.c_str()));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Bytes(c->chunky->pixels, c->chunky->pixels + 19 * 7 * 3), GreyToRgb(ref.pixels));
}

TEST_F(JpegTest, ReadsAdobeInvertedCmyk) {
  // Blocks of flat inverted CMYK: pure red (C=255 M=0 Y=0 K=255 stored inverted), a dark
  // grey and white, so that the colours survive compression nearly unchanged.
  const int w = 24, h = 8;
  Bytes cmyk;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (x < 8)
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});
      else if (x < 16)
        cmyk.insert(cmyk.end(), {200, 200, 200, 128});
      else
        cmyk.insert(cmyk.end(), {255, 255, 255, 255});
    }
  JpegParams params;
  params.width = w;
  params.height = h;
  params.components = 4;
  params.in = JCS_CMYK;
  params.hSamp = params.vSamp = 1;
  params.quality = 100;
  const Bytes file = test::EncodeJpeg(params, cmyk);
  const Decoded ref = test::DecodeReference(file);
  ASSERT_EQ(ref.components, 4);
  const std::string path = Write("cmyk.jpg", file);
  TexturePtr t(ReadJpeg(path.c_str()));
  const Bytes expected = InvertedCmykToRgb(ref.pixels);
  ExpectArgbMatches(t.get(), ref, expected.data());
  // And the colours are the intended ones.
  const uint8_t* red = t->chunky->pixels + 4 * (w * 4 + 3);
  EXPECT_NEAR(red[1], 255, 3);
  EXPECT_NEAR(red[2], 0, 3);
  EXPECT_NEAR(red[3], 0, 3);
  const uint8_t* grey = t->chunky->pixels + 4 * (w * 4 + 11);
  EXPECT_NEAR(grey[1], 200 * 128 / 255, 3);
  const uint8_t* white = t->chunky->pixels + 4 * (w * 4 + 20);
  EXPECT_NEAR(white[1], 255, 3);
  TexturePtr c(ReadJpegForCache(path.c_str()));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Bytes(c->chunky->pixels, c->chunky->pixels + expected.size()), expected);
}

TEST_F(JpegTest, InvertedCmykGivesTheSameColoursThroughEveryReader) {
  // Each row: the four bytes an Adobe application stores (inks inverted) and the colour they
  // stand for. The first is rgb(200,40,60) as ImageMagick writes it in CMYK.
  struct Case {
    uint8_t c, m, y, k;
    uint8_t r, g, b;
  };
  const Case cases[] = {
      {255, 51, 77, 200, 200, 40, 60},     {255, 255, 255, 255, 255, 255, 255}, {0, 0, 0, 0, 0, 0, 0},
      {255, 255, 255, 128, 128, 128, 128}, {128, 64, 32, 255, 128, 64, 32},     {200, 100, 50, 100, 78, 39, 20},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << int(k.c) << "," << int(k.m) << "," << int(k.y) << "," << int(k.k));
    const int side = 16;
    Bytes cmyk;
    for (int i = 0; i < side * side; ++i) cmyk.insert(cmyk.end(), {k.c, k.m, k.y, k.k});
    JpegParams params;
    params.width = params.height = side;
    params.components = 4;
    params.in = JCS_CMYK;
    params.hSamp = params.vSamp = 1;
    params.quality = 100;
    const Bytes file = test::EncodeJpeg(params, cmyk);
    ASSERT_FALSE(file.empty());
    TexturePtr builtIn(ReadPicture(Write("c.jpg", file).c_str()));
    TexturePtr system(ReadPicture(Write("c.jpeg", file).c_str()));
    TexturePtr cache(ReadJpegForCache(dir_.file("c.jpg").c_str()));
    ASSERT_TRUE(builtIn && system && cache);
    ASSERT_EQ(builtIn->chunky->format, image::ARGB32);
    ASSERT_EQ(system->chunky->format, image::ARGB32);
    const uint8_t want[3] = {k.r, k.g, k.b};
    for (int i = 0; i < side * side; ++i) {
      const uint8_t* a = builtIn->chunky->pixels + i * 4;
      const uint8_t* b = system->chunky->pixels + i * 4;
      const uint8_t* c = cache->chunky->pixels + i * 3;
      for (int ch = 0; ch < 3; ++ch) {
        ASSERT_NEAR(a[1 + ch], want[ch], 1) << "built-in reader, pixel " << i;
        ASSERT_NEAR(b[1 + ch], a[1 + ch], 1) << "system decoder, pixel " << i;
        ASSERT_EQ(c[ch], a[1 + ch]) << "cache reader, pixel " << i;
      }
    }
  }
}

TEST_F(JpegTest, RefusesWhatItCannotRead) {
  JpegParams params;
  const Bytes good = test::EncodeJpeg(params, test::Pattern(16, 16, 3));
  std::vector<std::string> paths = {dir_.file("missing.jpg"), Write("empty.jpg", {}),
                                    Write("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'}),
                                    Write("head.jpg", Bytes(good.begin(), good.begin() + 40))};
  // Two components: no colour conversion exists, and the rows would not fit the buffers.
  JpegParams twoParams;
  twoParams.components = 2;
  twoParams.in = JCS_UNKNOWN;
  twoParams.hSamp = twoParams.vSamp = 1;
  const Bytes twoFile = test::EncodeJpeg(twoParams, test::Pattern(16, 16, 2));
  ASSERT_FALSE(twoFile.empty());
  paths.push_back(Write("two.jpg", twoFile));
  // A header claiming 65000 x 65000 pixels, over the size limit.
  Bytes huge = good;
  for (size_t i = 2; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xFD, huge[i + 6] = 0xE8, huge[i + 7] = 0xFD, huge[i + 8] = 0xE8;
      break;
    }
  paths.push_back(Write("huge.jpg", huge));
  paths.push_back(dir_.path());  // a directory
  for (const std::string& p : paths) {
    EXPECT_EQ(TexturePtr(ReadJpeg(p.c_str())), nullptr) << p;
    EXPECT_EQ(TexturePtr(ReadJpegForCache(p.c_str())), nullptr) << p;
  }
  EXPECT_EQ(ReadJpeg(nullptr), nullptr);
}

TEST_F(JpegTest, TinyFilesClaimingHugePicturesAreRefusedButFlatPicturesLoad) {
  // Found by fuzzing: 200 bytes of progressive JPEG claiming 63236 x 149 pixels, which the
  // decoder filled, from nothing, for seconds.
  const std::vector<uint8_t> found = test::ReadFile(std::string(VISTALOOM_SOURCE_DIR) +
                                                    "/fuzz/corpus/jpeg_file/regress-tiny-file-huge-progressive-claim");
  ASSERT_EQ(found.size(), 200u);
  const std::string tiny = Write("tiny.jpg", found);
  EXPECT_EQ(TexturePtr(ReadJpeg(tiny.c_str())), nullptr);
  EXPECT_EQ(TexturePtr(ReadJpegForCache(tiny.c_str())), nullptr);
  EXPECT_EQ(TexturePtr(ReadJpegMemoryForCache(found.data(), found.size())), nullptr);
  // A flat picture compresses about as far as any real JPEG can, and still loads.
  image::ChunkyPtr flat(image::chk_Create(2048, 2048, image::ARGB32, false));
  ASSERT_TRUE(flat);
  image::Fill(flat.get(), 128, 128, 128, 255);
  const std::string flatPath = dir_.file("flat.jpg");
  ASSERT_EQ(SaveJPEG(flat.get(), flatPath.c_str(), 50, true, false), 1);
  TexturePtr back(ReadJpeg(flatPath.c_str()));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->chunky->width, 2048);
}

TEST_F(JpegTest, TruncatedOrDamagedDataNeverCrashes) {
  JpegParams params;
  params.width = 40;
  params.height = 40;
  const Bytes good = test::EncodeJpeg(params, test::Pattern(40, 40, 3));
  // Every cut of the file and damaged bytes through it: each read gives a picture or null.
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    const std::string p = Write("cut.jpg", Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)));
    TexturePtr t(ReadJpeg(p.c_str()));
    if (t) {
      EXPECT_EQ(t->chunky->width, 40);
    }
  }
  // Damage behind the scan marker, so that the picture size stays as it was.
  size_t scan = 2;
  while (scan + 1 < good.size() && !(good[scan] == 0xFF && good[scan + 1] == 0xDA)) ++scan;
  ASSERT_LT(scan + 20, good.size());
  uint32_t s = 12345;
  for (int round = 0; round < 60; ++round) {
    Bytes bad = good;
    for (int k = 0; k < 4; ++k) {
      s = s * 1103515245u + 12345u;
      bad[scan + 2 + (s >> 8) % (bad.size() - scan - 2)] = static_cast<uint8_t>(s >> 24);
    }
    TexturePtr t(ReadJpegForCache(Write("bad.jpg", bad).c_str()));
    if (t) {
      EXPECT_EQ(t->chunky->width, 40);
    }
  }
}

// Noise over a gradient, so blocks hold every frequency: width x height x components bytes.
Bytes NoisyPattern(int width, int height, int components, uint32_t seed) {
  Bytes p = test::Pattern(width, height, components);
  for (uint8_t& v : p) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(v / 2 + (seed >> 25));
  }
  return p;
}

// Colour pictures are decoded straight to ARGB32; every pixel must be the one the RGB decode
// gives, widened with alpha 255. Grey and CMYK go their own way and are held to the same.
TEST_F(JpegTest, ArgbDecodeMatchesTheRgbDecodeOnNoisyPictures) {
  struct Case {
    int width, height, components;
    J_COLOR_SPACE in;
    int samp;
    bool progressive;
    int quality;
  } cases[] = {
      {1, 1, 3, JCS_RGB, 2, false, 90},    {17, 9, 3, JCS_RGB, 2, false, 75},
      {123, 45, 3, JCS_RGB, 1, false, 95}, {64, 64, 3, JCS_RGB, 2, true, 85},
      {301, 7, 3, JCS_RGB, 2, false, 100}, {33, 70, 1, JCS_GRAYSCALE, 1, false, 90},
      {29, 31, 4, JCS_CMYK, 1, false, 90}, {200, 3, 4, JCS_CMYK, 2, true, 80},
  };
  uint32_t seed = 11;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " components " << c.components);
    JpegParams params;
    params.width = c.width;
    params.height = c.height;
    params.components = c.components;
    params.in = c.in;
    params.hSamp = params.vSamp = c.samp;
    params.progressive = c.progressive;
    params.quality = c.quality;
    const Bytes file = test::EncodeJpeg(params, NoisyPattern(c.width, c.height, c.components, ++seed));
    ASSERT_FALSE(file.empty());
    const Decoded ref = test::DecodeReference(file);
    ASSERT_EQ(ref.components, c.components);
    const Bytes rgb = c.components == 1   ? GreyToRgb(ref.pixels)
                      : c.components == 4 ? InvertedCmykToRgb(ref.pixels)
                                          : ref.pixels;
    const std::string path = Write("noisy.jpg", file);
    TexturePtr argb(ReadJpeg(path.c_str()));
    ExpectArgbMatches(argb.get(), ref, rgb.data());
    TexturePtr plain(ReadJpegForCache(path.c_str()));
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plain->chunky->format, image::RGB24);
    EXPECT_EQ(Bytes(plain->chunky->pixels, plain->chunky->pixels + rgb.size()), rgb);
  }
}

class SaveTest : public JpegTest {};

TEST_F(SaveTest, QualityAndBaselineTables) {
  image::ChunkyPtr img(test::RandomImage(48, 32, image::RGB24, 7));
  ASSERT_NE(img, nullptr);
  const std::string lo = dir_.file("lo.jpg"), hi = dir_.file("hi.jpg"), min = dir_.file("min.jpg");
  ASSERT_EQ(SaveJPEG(img.get(), lo.c_str(), 20, false, false), 1);
  ASSERT_EQ(SaveJPEG(img.get(), hi.c_str(), 95, false, false), 1);
  ASSERT_EQ(SaveJPEG(img.get(), min.c_str(), 0, false, false), 1);
  EXPECT_GT(test::ReadFile(hi).size(), test::ReadFile(lo).size());
  // The first quantiser follows the library's quality scaling, limited to baseline tables.
  for (auto [path, q] : {std::pair{lo, 20}, {hi, 95}, {min, 0}}) {
    jpeg_compress_struct c{};
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    c.input_components = 3;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, q, TRUE);
    const int expected = c.quant_tbl_ptrs[0]->quantval[0];
    jpeg_destroy_compress(&c);
    const Decoded d = test::DecodeReference(test::ReadFile(path));
    EXPECT_EQ(d.quant0, expected) << "quality " << q;
    EXPECT_LE(d.quant0, 255);
  }
}

TEST_F(SaveTest, OptimisedCodingIsSmallerAndDecodesTheSame) {
  image::ChunkyPtr img(test::RandomImage(64, 64, image::RGB24, 3));
  const std::string plain = dir_.file("plain.jpg"), opt = dir_.file("opt.jpg");
  ASSERT_EQ(SaveJPEG(img.get(), plain.c_str(), 85, false, false), 1);
  ASSERT_EQ(SaveJPEG(img.get(), opt.c_str(), 85, true, false), 1);
  const Bytes a = test::ReadFile(plain), b = test::ReadFile(opt);
  EXPECT_LT(b.size(), a.size());
  EXPECT_EQ(test::DecodeReference(a).pixels, test::DecodeReference(b).pixels);
}

TEST_F(SaveTest, SamplingFactorsReadBack) {
  image::ChunkyPtr img(test::RandomImage(20, 20, image::ARGB32, 5));
  const std::string sub = dir_.file("420.jpg"), full = dir_.file("444.jpg");
  ASSERT_EQ(SaveJPEG(img.get(), sub.c_str(), 90, false, false), 1);
  ASSERT_EQ(SaveJPEG(img.get(), full.c_str(), 90, false, true), 1);
  const Decoded d420 = test::DecodeReference(test::ReadFile(sub));
  const Decoded d444 = test::DecodeReference(test::ReadFile(full));
  EXPECT_EQ(d420.hSamp[0], 2);
  EXPECT_EQ(d420.vSamp[0], 2);
  EXPECT_EQ(d420.hSamp[1], 1);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(d444.hSamp[c], 1) << c;
    EXPECT_EQ(d444.vSamp[c], 1) << c;
  }
}

TEST_F(SaveTest, EverySourceFormat) {
  // A flat colour per format survives a save at quality 100 within a small error.
  struct Case {
    uint32_t format;
    uint8_t a, r, g, b;  // set with SetPixel
    uint8_t er, eg, eb;  // the colour the file should hold
  } cases[] = {
      {image::RGB24, 255, 200, 100, 50, 200, 100, 50},
      {image::ARGB32, 0, 30, 160, 220, 30, 160, 220},  // alpha dropped, colour kept
      {image::RGB565, 255, 0xF8, 0x80, 0x40, 255, 129, 65},
      {image::ARGB4444, 255, 0xA0, 0x50, 0xF0, 170, 85, 255},
      {image::GREY8, 255, 90, 90, 90, 90, 90, 90},
      {image::ALPHA8, 17, 0, 0, 0, 255, 255, 255},
  };
  for (const Case& c : cases) {
    image::ChunkyPtr img(image::chk_Create(24, 16, c.format, true));
    ASSERT_NE(img, nullptr);
    image::Fill(img.get(), c.r, c.g, c.b, c.a);
    const std::string path = dir_.file("f" + std::to_string(c.format) + ".jpg");
    ASSERT_EQ(SaveJPEG(img.get(), path.c_str(), 100, true, true), 1) << c.format;
    TexturePtr back(ReadJpeg(path.c_str()));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->chunky->width, 24);
    ASSERT_EQ(back->chunky->height, 16);
    const uint8_t* p = back->chunky->pixels + 4 * (8 * 24 + 12);
    EXPECT_EQ(p[0], 255);
    EXPECT_NEAR(p[1], c.er, 2) << c.format;
    EXPECT_NEAR(p[2], c.eg, 2) << c.format;
    EXPECT_NEAR(p[3], c.eb, 2) << c.format;
  }
  // Formats without a row conversion are refused, and no file appears.
  image::ChunkyPtr rgba(image::chk_Create(4, 4, image::RGBA32, true));
  EXPECT_EQ(SaveJPEG(rgba.get(), dir_.file("rgba.jpg").c_str(), 90, false, false), 0);
  EXPECT_TRUE(test::ReadFile(dir_.file("rgba.jpg")).empty());
  EXPECT_EQ(SaveJPEG(nullptr, dir_.file("null.jpg").c_str(), 90, false, false), 0);
}

// An ARGB32 picture goes to the codec without an RGB copy; the file must be byte for byte the
// one its RGB24 copy gives, whatever the alpha.
TEST_F(SaveTest, ArgbAndRgbSourcesGiveTheSameFile) {
  struct Case {
    int width, height, quality;
    bool optimize, noSubsampling;
  } cases[] = {
      {1, 1, 90, false, false}, {77, 13, 75, true, false}, {160, 90, 95, false, true}, {5, 200, 100, true, true}};
  uint32_t seed = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " quality " << c.quality);
    image::ChunkyPtr argb(test::RandomImage(c.width, c.height, image::ARGB32, ++seed));
    ASSERT_NE(argb, nullptr);
    image::ChunkyPtr rgb(image::chk_Create(c.width, c.height, image::RGB24, true));
    ASSERT_NE(rgb, nullptr);
    image::ConvertARGB32ToRGB24(argb->pixels, rgb->pixels, c.width, c.height);
    const std::string a = dir_.file("argb.jpg"), r = dir_.file("rgb.jpg");
    ASSERT_EQ(SaveJPEG(argb.get(), a.c_str(), c.quality, c.optimize, c.noSubsampling), 1);
    ASSERT_EQ(SaveJPEG(rgb.get(), r.c_str(), c.quality, c.optimize, c.noSubsampling), 1);
    const Bytes fromArgb = test::ReadFile(a);
    EXPECT_FALSE(fromArgb.empty());
    EXPECT_EQ(fromArgb, test::ReadFile(r));
  }
}

TEST_F(SaveTest, FailedSaveKeepsTheOldFile) {
  const std::string path = dir_.file("keep.jpg");
  test::WriteFile(path, std::string("precious old contents"));
  // Wider than a JPEG can be: the codec fails while writing the header.
  image::ChunkyPtr wide(image::chk_Create(70000, 1, image::GREY8, true));
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(SaveJPEG(wide.get(), path.c_str(), 90, false, false), 0);
  const Bytes after = test::ReadFile(path);
  EXPECT_EQ(std::string(after.begin(), after.end()), "precious old contents");
  EXPECT_EQ(DirNames(), std::vector<std::string>{"keep.jpg"});  // no temporary file left
  // A directory that does not exist.
  EXPECT_EQ(SaveJPEG(wide.get(), dir_.file("no/such/dir.jpg").c_str(), 90, false, false), 0);
  // A good save replaces the file.
  image::ChunkyPtr small(test::RandomImage(8, 8, image::RGB24, 1));
  ASSERT_EQ(SaveJPEG(small.get(), path.c_str(), 90, false, false), 1);
  EXPECT_EQ(test::DecodeReference(test::ReadFile(path)).width, 8);
  EXPECT_EQ(DirNames(), std::vector<std::string>{"keep.jpg"});
}

TEST_F(SaveTest, SavedFilesHoldNoExif) {
  image::ChunkyPtr img(test::RandomImage(8, 8, image::RGB24, 2));
  const std::string path = dir_.file("x.jpg");
  ASSERT_EQ(SaveJPEG(img.get(), path.c_str(), 75, false, false), 1);
  const Bytes b = test::ReadFile(path);
  ASSERT_GT(b.size(), 20u);
  EXPECT_EQ(b[2], 0xFF);
  EXPECT_EQ(b[3], 0xE0);  // the JFIF header comes first
  // Walk the markers up to the scan: none is an APP1 (EXIF) section.
  std::vector<int> markers;
  for (size_t i = 2; i + 3 < b.size() && b[i] == 0xFF;) {
    markers.push_back(b[i + 1]);
    if (b[i + 1] == 0xDA) break;
    i += 2 + ((b[i + 2] << 8) | b[i + 3]);
  }
  ASSERT_FALSE(markers.empty());
  EXPECT_EQ(markers.back(), 0xDA);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 0);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 1);
}

TEST_F(JpegTest, ExifThumbnail) {
  JpegParams thumbParams;
  thumbParams.width = 20;
  thumbParams.height = 12;
  const Bytes thumb = test::EncodeJpeg(thumbParams, test::Pattern(20, 12, 3));
  const Decoded ref = test::DecodeReference(thumb, JDCT_FLOAT);
  for (bool mm : {false, true}) {
    test::Tiff t(mm);
    uint32_t ifd0 = t.AddIfd({t.Short(0x0112, 1)});
    uint32_t ifd1 = t.AddIfd({t.Long(0x0201, 0), t.Long(0x0202, static_cast<uint32_t>(thumb.size()))});
    t.Patch32(test::Tiff::ValueField(ifd1, 0), t.Append(thumb));
    t.Patch32(t.NextField(ifd0), ifd1);
    // The main picture is a different size, so a mix-up shows.
    JpegParams mainParams;
    mainParams.width = 64;
    mainParams.height = 48;
    Bytes file = test::InsertSection(test::EncodeJpeg(mainParams, test::Pattern(64, 48, 3)), 0xE1, t.App1Payload());
    // The thumbnail has the picture's colours, so it takes the file's profile (one of the two files has one).
    const Bytes profile = mm ? test::SrgbIccProfile() : Bytes();
    if (mm) {
      Bytes chunk(14 + profile.size());
      memcpy(chunk.data(), "ICC_PROFILE\0\1\1", 14);
      memcpy(chunk.data() + 14, profile.data(), profile.size());
      file = test::InsertSection(file, 0xE2, chunk);
    }
    TexturePtr tex(ReadExifThumbnail(Write("thumb.jpg", file).c_str()));
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->iccProfile ? *tex->iccProfile : Bytes(), profile);
    EXPECT_EQ(tex->chunky->format, image::RGB24);
    ASSERT_EQ(tex->chunky->width, 20);
    ASSERT_EQ(tex->chunky->height, 12);
    EXPECT_EQ(Bytes(tex->chunky->pixels, tex->chunky->pixels + ref.pixels.size()), ref.pixels);
  }
  // Without thumbnail tags, and with a thumbnail that is no JPEG.
  test::Tiff none(false);
  none.AddIfd({none.Short(0x0112, 1)});
  EXPECT_EQ(TexturePtr(ReadExifThumbnail(Write("none.jpg", test::JpegWithExif(none.App1Payload())).c_str())), nullptr);
  test::Tiff junk(false);
  uint32_t ifd0 = junk.AddIfd({junk.Long(0x0201, 0), junk.Long(0x0202, 64)});
  junk.Patch32(test::Tiff::ValueField(ifd0, 0), junk.Append(Bytes(64, 0xFF)));
  EXPECT_EQ(TexturePtr(ReadExifThumbnail(Write("junk.jpg", test::JpegWithExif(junk.App1Payload())).c_str())), nullptr);
  EXPECT_EQ(TexturePtr(ReadExifThumbnail(dir_.file("missing.jpg").c_str())), nullptr);
}

class SampleFactors : public ::testing::Test {
 protected:
  void SetUp() override {
    c_.err = jpeg_std_error(&e_);
    jpeg_create_compress(&c_);
    c_.in_color_space = JCS_RGB;
    c_.input_components = 3;
    jpeg_set_defaults(&c_);
  }
  void TearDown() override { jpeg_destroy_compress(&c_); }
  int Set(const char* text, std::string* err = nullptr) {
    test::CaptureStreams cap;
    int r = SetSampleFactors(&c_, text);
    if (err) *err = cap.err();
    return r;
  }
  jpeg_compress_struct c_{};
  jpeg_error_mgr e_;
};

TEST_F(SampleFactors, ListsOfPairs) {
  ASSERT_EQ(Set("2x1,1X2"), 1);
  EXPECT_EQ(c_.comp_info[0].h_samp_factor, 2);
  EXPECT_EQ(c_.comp_info[0].v_samp_factor, 1);
  EXPECT_EQ(c_.comp_info[1].h_samp_factor, 1);
  EXPECT_EQ(c_.comp_info[1].v_samp_factor, 2);
  // Components after the list get 1x1, up to the tenth.
  for (int ci = 2; ci < MAX_COMPONENTS; ++ci) {
    EXPECT_EQ(c_.comp_info[ci].h_samp_factor, 1);
    EXPECT_EQ(c_.comp_info[ci].v_samp_factor, 1);
  }
  ASSERT_EQ(Set("4x4,"), 1);
  EXPECT_EQ(c_.comp_info[0].h_samp_factor, 4);
  EXPECT_EQ(c_.comp_info[1].h_samp_factor, 1);
  ASSERT_EQ(Set(""), 1);
  EXPECT_EQ(c_.comp_info[0].h_samp_factor, 1);
}

TEST_F(SampleFactors, MalformedTexts) {
  for (const char* text : {"2", "2x", "x1", "2y1", "2x1;1x1", "2x1,1", "ax1"}) {
    std::string err;
    EXPECT_EQ(Set(text, &err), 0) << text;
    EXPECT_EQ(err, "") << text;
  }
  for (const char* text : {"0x1", "5x1", "1x0", "-1x1", "2x1,1x9", "99999999999999999999x1"}) {
    std::string err;
    EXPECT_EQ(Set(text, &err), 0) << text;
    EXPECT_EQ(err, "JPEG sampling factors must be 1..4\n") << text;
  }
  EXPECT_EQ(SetSampleFactors(nullptr, "1x1"), 0);
  EXPECT_EQ(SetSampleFactors(&c_, nullptr), 0);
}

}  // namespace
}  // namespace vl::formats
