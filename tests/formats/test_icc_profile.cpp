// ICC profiles read from JPEG APP2 chunks, PNG iCCP, TIFF and WebP, byte for byte, and the
// chunk sets that give no profile.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <cstring>
#include <functional>

#include "formats/decoders.h"
#include "formats/icc_profile.h"
#include "formats/jpeg.h"
#include "formats/loader.h"
#include "icc_test_util.h"
#include "image/colour_management.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using Bytes = std::vector<uint8_t>;

class IccProfileTest : public test::PoolTest {};

std::vector<JpegMarkerData> Markers(const std::vector<Bytes>& payloads) {
  std::vector<JpegMarkerData> m;
  for (const Bytes& p : payloads) m.push_back({p.data(), p.size()});
  return m;
}

TEST_F(IccProfileTest, App2ChunkSets) {
  const Bytes profile = test::AdobeRgbProfile();
  const std::vector<Bytes> three = test::IccChunks(profile, 3);
  Bytes other = {'X', 'Y', 'Z', 0, 1, 2, 3};
  Bytes shortTag = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1};  // no count
  auto renumbered = [&](int index, int sequence, int count) {
    std::vector<Bytes> c = three;
    c[index][12] = static_cast<uint8_t>(sequence);
    c[index][13] = static_cast<uint8_t>(count);
    return c;
  };
  struct Case {
    const char* name;
    std::vector<Bytes> chunks;
    bool whole;  // gives the profile back; else no profile at all
  };
  const std::vector<Case> cases = {
      {"one chunk", test::IccChunks(profile, 1), true},
      {"three in order", three, true},
      {"three out of order", {three[2], three[0], three[1]}, true},
      {"other APP2 between", {three[0], other, three[1], shortTag, three[2]}, true},
      {"one missing", {three[0], three[2]}, false},
      {"one repeated", {three[0], three[1], three[1], three[2]}, false},
      {"counts disagree", renumbered(1, 2, 4), false},
      {"sequence 0", renumbered(0, 0, 3), false},
      {"sequence beyond count", renumbered(2, 4, 3), false},
      {"count 0", renumbered(0, 1, 0), false},
      {"no chunks", {}, false},
      {"only other APP2", {other, shortTag}, false},
  };
  for (const Case& c : cases) {
    Bytes got = AssembleJpegIccProfile(Markers(c.chunks));
    if (c.whole)
      EXPECT_EQ(got, profile) << c.name;
    else
      EXPECT_TRUE(got.empty()) << c.name;
  }
}

TEST_F(IccProfileTest, App2ChunksBeyondTheSizeLimitGiveNoProfile) {
  // 70 chunks of 64 KiB: more than a profile may be.
  std::vector<Bytes> chunks;
  for (int i = 1; i <= 70; ++i) {
    Bytes c = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, static_cast<uint8_t>(i), 70};
    c.resize(65533, 0x55);
    chunks.push_back(std::move(c));
  }
  EXPECT_TRUE(AssembleJpegIccProfile(Markers(chunks)).empty());
  chunks.resize(60);
  for (size_t i = 0; i < chunks.size(); ++i) chunks[i][13] = 60;
  EXPECT_EQ(AssembleJpegIccProfile(Markers(chunks)).size(), 60 * (65533 - 14u));
}

// Every JPEG reader: the built-in one (".jpg", for viewing and for thumbnails), the system
// decoder (any other name) and the header reader.
TEST_F(IccProfileTest, JpegReadersKeepTheProfile) {
  test::TempDir dir;
  const Bytes profile = test::DisplayP3Profile();
  struct Case {
    const char* name;
    Bytes file;
    bool hasProfile;
  };
  const std::vector<Bytes> chunks = test::IccChunks(profile, 3);
  Bytes cmyk = profile;  // a CMYK profile says nothing about the RGB numbers the readers deliver
  std::memcpy(cmyk.data() + 16, "CMYK", 4);
  const std::vector<Case> cases = {
      {"a CMYK profile", test::FlatJpeg(16, 8, {128, 200, 64}, {}, &cmyk), false},
      {"libjpeg's writer", test::FlatJpeg(16, 8, {128, 200, 64}, {}, &profile), true},
      {"three chunks, written out of order", test::FlatJpeg(16, 8, {128, 200, 64}, {chunks[1], chunks[2], chunks[0]}),
       true},
      {"a chunk missing", test::FlatJpeg(16, 8, {128, 200, 64}, {chunks[0], chunks[2]}), false},
      {"no profile", test::FlatJpeg(16, 8, {128, 200, 64}, {}), false},
  };
  const Bytes none;
  for (const Case& c : cases) {
    const Bytes& want = c.hasProfile ? profile : none;
    for (const char* name : {"a.jpg", "a.jpeg"}) {
      const std::string path = dir.file(name);
      ASSERT_TRUE(test::WriteFile(path, c.file));
      for (bool scan : {false, true}) {
        image::TexturePtr t(scan ? ReadPictureForScan(path.c_str()) : ReadPicture(path.c_str()));
        ASSERT_TRUE(t) << c.name << " " << name;
        EXPECT_EQ(t->iccProfile ? *t->iccProfile : none, want) << c.name << " " << name << " scan " << scan;
      }
      EXPECT_EQ(ReadJpegIccProfileFromFile(path.c_str()), want) << c.name;
    }
  }
}

TEST_F(IccProfileTest, JpegHeaderReaderRefusesHostileHeaders) {
  test::TempDir dir;
  const Bytes good = test::FlatJpeg(8, 8, {1, 2, 3}, test::IccChunks(test::AdobeRgbProfile(), 2));
  struct Case {
    const char* name;
    std::function<Bytes()> make;
  };
  const std::vector<Case> cases = {
      {"cut inside the APP2", [&] { return Bytes(good.begin(), good.begin() + 40); }},
      {"zero segment length", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE2, 0, 0, 0xFF, 0xD9}; }},
      {"only the start marker",
       [] {
         return Bytes{0xFF, 0xD8};
       }},
      {"not a JPEG",
       [] {
         return Bytes{'G', 'I', 'F', '8'};
       }},
      {"fill bytes forever", [] { return Bytes(100000, 0xFF); }},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("h.jpg");
    ASSERT_TRUE(test::WriteFile(path, c.make()));
    EXPECT_TRUE(ReadJpegIccProfileFromFile(path.c_str()).empty()) << c.name;
  }
  EXPECT_TRUE(ReadJpegIccProfileFromFile(dir.file("missing.jpg").c_str()).empty());
}

Bytes PngWithProfile(const Bytes& profile) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, 4, 2, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!profile.empty())
    png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE, profile.data(), static_cast<png_uint_32>(profile.size()));
  png_write_info(png, info);
  Bytes row(12, 90);
  for (int y = 0; y < 2; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes TiffWithProfile(const std::string& path, const Bytes& profile) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
  if (!profile.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
  Bytes row(12, 90);
  for (uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(t, row.data(), y, 0);
  TIFFClose(t);
  return test::ReadFile(path);
}

void PutLe(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A lossless WebP in the extended layout: VP8X (flags), ICCP, then the picture's VP8L chunk.
// iccpSize overrides the ICCP chunk's size field (a lying file).
Bytes WebpWithProfile(const Bytes& profile, int64_t iccpSize = -1) {
  Bytes rgb(4 * 2 * 3, 90);
  uint8_t* simple = nullptr;
  size_t n = WebPEncodeLosslessRGB(rgb.data(), 4, 2, 12, &simple);
  if (n < 20) return {};
  Bytes body = {'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
  PutLe(body, 10, 4);
  body.push_back(profile.empty() ? 0 : 0x20);
  body.insert(body.end(), {0, 0, 0});
  PutLe(body, 4 - 1, 3);
  PutLe(body, 2 - 1, 3);
  if (!profile.empty()) {
    body.insert(body.end(), {'I', 'C', 'C', 'P'});
    PutLe(body, static_cast<uint32_t>(iccpSize >= 0 ? iccpSize : static_cast<int64_t>(profile.size())), 4);
    body.insert(body.end(), profile.begin(), profile.end());
    if (profile.size() % 2) body.push_back(0);
  }
  body.insert(body.end(), simple + 12, simple + n);
  WebPFree(simple);
  Bytes out = {'R', 'I', 'F', 'F'};
  PutLe(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST_F(IccProfileTest, PngTiffAndWebpDecodersKeepTheProfile) {
  test::TempDir dir;
  const Bytes profile = test::AdobeRgbProfile(), none;
  struct Case {
    const char* name;
    std::function<Bytes(const Bytes&)> make;
  };
  const std::vector<Case> cases = {
      {"PNG iCCP", PngWithProfile},
      {"TIFF", [&](const Bytes& p) { return TiffWithProfile(dir.file("t.tif"), p); }},
      {"WebP ICCP", [](const Bytes& p) { return WebpWithProfile(p); }},
  };
  for (const Case& c : cases) {
    for (const Bytes* p : {&profile, &none}) {
      const Bytes file = c.make(*p);
      ASSERT_FALSE(file.empty()) << c.name;
      DecodedPicture pic;
      ASSERT_TRUE(DecodeMemory(file.data(), file.size(), pic)) << c.name;
      EXPECT_EQ(pic.iccProfile, *p) << c.name << (p->empty() ? " without profile" : "");
      image::TexturePtr t(PictureToTexture(pic, false));
      ASSERT_TRUE(t) << c.name;
      EXPECT_EQ(t->iccProfile ? *t->iccProfile : none, *p) << c.name;
    }
    if (std::string(c.name) == "PNG iCCP") continue;  // libpng will not write a CMYK profile into RGB
    Bytes cmyk = profile;
    std::memcpy(cmyk.data() + 16, "CMYK", 4);
    const Bytes file = c.make(cmyk);
    DecodedPicture pic;
    ASSERT_TRUE(DecodeMemory(file.data(), file.size(), pic)) << c.name;
    image::TexturePtr t(PictureToTexture(pic, false));
    ASSERT_TRUE(t) << c.name;
    EXPECT_FALSE(t->iccProfile) << c.name << ": a CMYK profile stays off RGB pixels";
  }
}

TEST_F(IccProfileTest, WebpWithLyingIccpSizeGivesNoProfile) {
  const Bytes profile = test::AdobeRgbProfile();
  for (int64_t lie : {int64_t{0xFFFFFF00}, static_cast<int64_t>(profile.size() + 4000)}) {
    const Bytes file = WebpWithProfile(profile, lie);
    EXPECT_TRUE(ReadWebpIccProfile(file.data(), file.size()).empty()) << lie;
    DecodedPicture pic;
    if (DecodeMemory(file.data(), file.size(), pic)) {
      EXPECT_TRUE(pic.iccProfile.empty()) << lie;
    }
  }
}

}  // namespace
}  // namespace vl::formats
