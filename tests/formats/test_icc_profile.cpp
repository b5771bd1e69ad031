// ICC profiles read from JPEG APP2 chunks, PNG iCCP, TIFF and WebP, byte for byte, and the
// chunk sets that give no profile.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstring>
#include <functional>

#include "formats/decoders.h"
#include "formats/icc_profile.h"
#include "formats/jpeg.h"
#include "formats/loader.h"
#include "icc_test_util.h"
#include "image/colour_management.h"
#include "test_loader_helpers.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using Bytes = std::vector<uint8_t>;

class IccProfileTest : public test::PoolTest {};

Bytes Assemble(const std::vector<Bytes>& payloads) {
  std::vector<JpegMarkerData> m;
  for (const Bytes& p : payloads) m.push_back({p.data(), p.size()});
  return AssembleJpegIccProfile(m);
}

Bytes Cmyk(Bytes profile) {  // a CMYK profile says nothing about the RGB numbers the readers deliver
  std::memcpy(profile.data() + 16, "CMYK", 4);
  return profile;
}

TEST_F(IccProfileTest, App2ChunkSets) {
  const Bytes profile = test::AdobeRgbProfile(), none;
  const std::vector<Bytes> three = test::IccChunks(profile, 3);
  const Bytes other = {'X', 'Y', 'Z', 0, 1, 2, 3};
  const Bytes shortTag = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1};  // no count
  auto renumbered = [&](int index, int sequence, int count) {
    std::vector<Bytes> c = three;
    c[index][12] = static_cast<uint8_t>(sequence), c[index][13] = static_cast<uint8_t>(count);
    return c;
  };
  // Chunks of 64 KiB: 70 are more than a profile may be, 60 are not.
  auto big = [](int count) {
    std::vector<Bytes> chunks;
    for (int i = 1; i <= count; ++i) {
      chunks.push_back({'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, uint8_t(i), uint8_t(count)});
      chunks.back().resize(65533, 0x55);
    }
    return chunks;
  };
  const struct {
    const char* name;
    std::vector<Bytes> chunks;
    Bytes want;
  } cases[] = {
      {"one chunk", test::IccChunks(profile, 1), profile},
      {"three out of order", {three[2], three[0], three[1]}, profile},
      {"other APP2 between", {three[0], other, three[1], shortTag, three[2]}, profile},
      {"one missing", {three[0], three[2]}, none},
      {"one repeated", {three[0], three[1], three[1], three[2]}, none},
      {"counts disagree", renumbered(1, 2, 4), none},
      {"sequence 0", renumbered(0, 0, 3), none},
      {"sequence beyond count", renumbered(2, 4, 3), none},
      {"count 0", renumbered(0, 1, 0), none},
      {"no chunks", {}, none},
      {"only other APP2", {other, shortTag}, none},
      {"70 chunks of 64 KiB", big(70), none},
      {"60 chunks of 64 KiB", big(60), Bytes(60 * (65533 - 14u), 0x55)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Assemble(c.chunks), c.want);
  }
}

// Every JPEG reader: the built-in one (".jpg", for viewing and for thumbnails) and the system
// decoder (any other name).
TEST_F(IccProfileTest, JpegReadersKeepTheProfile) {
  test::TempDir dir;
  const Bytes profile = test::DisplayP3Profile(), cmyk = Cmyk(profile), none;
  const std::vector<Bytes> chunks = test::IccChunks(profile, 3);
  auto jpeg = [](std::vector<Bytes> app2, const Bytes* p = nullptr) {
    return test::FlatJpeg(16, 8, {128, 200, 64}, app2, p);
  };
  const struct {
    const char* name;
    Bytes file;
    const Bytes& want;
  } cases[] = {
      {"a CMYK profile", jpeg({}, &cmyk), none},
      {"libjpeg's writer", jpeg({}, &profile), profile},
      {"three chunks, written out of order", jpeg({chunks[1], chunks[2], chunks[0]}), profile},
      {"a chunk missing", jpeg({chunks[0], chunks[2]}), none},
      {"no profile", jpeg({}), none},
  };
  for (const auto& c : cases) {
    for (const char* name : {"a.jpg", "a.jpeg"}) {
      SCOPED_TRACE(std::string(c.name) + " " + name);
      const std::string path = dir.file(name);
      ASSERT_TRUE(test::WriteFile(path, c.file));
      for (bool scan : {false, true}) {
        image::TexturePtr t(scan ? ReadPictureForScan(path.c_str()) : ReadPicture(path.c_str()));
        ASSERT_TRUE(t) << scan;
        EXPECT_EQ(t->iccProfile ? *t->iccProfile : none, c.want) << "scan " << scan;
      }
    }
  }
}

// An RGB PNG with an iCCP chunk (name "icc", zlib stream) put right after IHDR.
Bytes PngWithProfile(const Bytes& profile) {
  test::PngSpec spec;
  spec.width = 4, spec.height = 2, spec.rows.assign(2, Bytes(12, 90));
  const Bytes png = test::EncodePng(spec);
  if (profile.empty() || png.size() < 33) return png;
  uLongf n = compressBound(profile.size());
  Bytes chunk = {'i', 'C', 'C', 'P', 'i', 'c', 'c', 0, 0};
  chunk.resize(chunk.size() + n);
  if (compress(chunk.data() + 9, &n, profile.data(), profile.size()) != Z_OK) return {};
  chunk.resize(9 + n);
  Bytes out(png.begin(), png.begin() + 33);
  test::PutBe32(out, static_cast<uint32_t>(chunk.size() - 4));
  out.insert(out.end(), chunk.begin(), chunk.end());
  test::PutBe32(out, static_cast<uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))));
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

Bytes TiffWithProfile(const std::string& path, const Bytes& profile) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4), TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2),
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3), TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB), TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!profile.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
  Bytes row(12, 90);
  for (uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(t, row.data(), y, 0);
  TIFFClose(t);
  return test::ReadFile(path);
}

// A lossless WebP in the extended layout: VP8X (flags), ICCP, then the picture's VP8L chunk.
// iccpSize overrides the ICCP chunk's size field (a lying file).
Bytes WebpWithProfile(const Bytes& profile, int64_t iccpSize = -1) {
  const Bytes simple = test::EncodeWebpLossless(4, 2, Bytes(4 * 2 * 4, 90), false);
  if (simple.size() < 20) return {};
  Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
  test::PutLe32(out, 10);
  test::PutLe32(out, profile.empty() ? 0 : 0x20);
  test::PutLe32(out, (1 << 24) | (4 - 1));  // width - 1, then height - 1, 24 bits each
  test::PutLe16(out, 0);
  if (!profile.empty()) {
    out.insert(out.end(), {'I', 'C', 'C', 'P'});
    test::PutLe32(out, static_cast<uint32_t>(iccpSize >= 0 ? iccpSize : int64_t(profile.size())));
    out.insert(out.end(), profile.begin(), profile.end());
    if (profile.size() % 2) out.push_back(0);
  }
  out.insert(out.end(), simple.begin() + 12, simple.end());
  const uint32_t riff = static_cast<uint32_t>(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
  return out;
}

TEST_F(IccProfileTest, PngTiffAndWebpDecodersKeepTheProfile) {
  test::TempDir dir;
  const Bytes profile = test::AdobeRgbProfile(), cmyk = Cmyk(profile), none;
  const struct {
    const char* name;
    std::function<Bytes(const Bytes&)> make;
  } cases[] = {
      {"PNG iCCP", PngWithProfile},
      {"TIFF", [&](const Bytes& p) { return TiffWithProfile(dir.file("t.tif"), p); }},
      {"WebP ICCP", [](const Bytes& p) { return WebpWithProfile(p); }},
  };
  for (const auto& c : cases) {
    for (const Bytes* p : {&profile, &none, &cmyk}) {
      SCOPED_TRACE(std::string(c.name) + (p == &none ? " without profile" : p == &cmyk ? " CMYK" : ""));
      const Bytes file = c.make(*p);
      DecodedPicture pic;
      ASSERT_TRUE(DecodeMemory(file.data(), file.size(), pic));
      if (p != &cmyk) {
        EXPECT_EQ(pic.iccProfile, *p);
      }
      image::TexturePtr t(PictureToTexture(pic, false));
      ASSERT_TRUE(t);
      EXPECT_EQ(t->iccProfile ? *t->iccProfile : none, p == &cmyk ? none : *p);  // CMYK stays off RGB pixels
    }
  }
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
