// Broken files for every decoder: empty, truncated at every length, and headers that
// claim far more pixels than the file holds. Each must fail cleanly, without leaking
// pixel blocks (the fixture counts them) and without a huge allocation.
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <functional>

#include "formats/decoders.h"
#include "formats/loader.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

struct Sample {
  const char* name;  // file name used for ReadPicture
  std::function<Bytes()> make;
};

Bytes SmallRgb(int w, int h) {
  Bytes rgb;
  for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 31)});
  return rgb;
}

std::vector<Sample> Samples() {
  return {
      {"a.png",
       [] {
         PngSpec s;
         s.width = 7;
         s.height = 5;
         for (int y = 0; y < 5; ++y) {
           Bytes r = SmallRgb(7, 1);
           r[0] = uint8_t(y);
           s.rows.push_back(r);
         }
         return EncodePng(s);
       }},
      {"a.gif",
       [] {
         Bytes idx;
         for (int i = 0; i < 35; ++i) idx.push_back(uint8_t(i % 4));
         return EncodeGif(7, 5, idx, {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}, 2, -1, false);
       }},
      {"a.tif", [] { return EncodeTiff(7, 5, 3, SmallRgb(7, 5), COMPRESSION_NONE); }},
      {"b.tif", [] { return EncodeTiff(7, 5, 3, SmallRgb(7, 5), COMPRESSION_ADOBE_DEFLATE); }},
      {"a.webp",
       [] {
         Bytes rgba;
         for (int i = 0; i < 35; ++i) rgba.insert(rgba.end(), {uint8_t(i * 9), uint8_t(i), 3, 255});
         return EncodeWebpLossless(7, 5, rgba, true);
       }},
      {"a.jpeg", [] { return EncodeJpeg(16, 16, 3, SmallRgb(16, 16)); }},
      {"a.bmp", [] { return BuildBmp(7, 5, 24, 0, {}, Bytes(24 * 5, 0x5A)); }},
      {"r.bmp",
       [] {
         return BuildBmp(4, 2, 8, 1, {0, 0, 0, 0, 255, 255, 255, 0}, {4, 1, 0, 0, 4, 0, 0, 1});
       }},
      {"a.ppm",
       [] {
         std::string h = "P6 7 5 255\n";
         Bytes b(h.begin(), h.end());
         Bytes rgb = SmallRgb(7, 5);
         b.insert(b.end(), rgb.begin(), rgb.end());
         return b;
       }},
      {"a.pgm",
       [] {
         std::string t = "P2 3 2 9 1 2 3 4 5 6";
         return Bytes(t.begin(), t.end());
       }},
      {"a.iff",
       [] {
         std::vector<uint32_t> v(35);
         for (size_t i = 0; i < v.size(); ++i) v[i] = uint32_t(i * 0x010203);
         return BuildIlbm(7, 5, 24, v, {}, 1);
       }},
      {"b.iff", [] { return BuildIlbm(7, 5, 24, std::vector<uint32_t>(35, 0x123456), {}, 0); }},
      {"a.sun", [] { return BuildSunRaster(3, 2, 24, 1, {}, Bytes(20, 7)); }},
      {"r.sun",
       [] {
         return BuildSunRaster(4, 1, 24, 2, {}, {0x80, 0x0B, 0x11});
       }},
  };
}

class BrokenFileTest : public LoaderTest {};

TEST_F(BrokenFileTest, IntactSamplesDecode) {
  // The samples themselves are sound, so the failures below come from the damage alone.
  for (const Sample& s : Samples()) {
    Bytes b = s.make();
    formats::DecodedPicture pic;
    EXPECT_TRUE(formats::DecodeMemory(b.data(), b.size(), pic)) << s.name;
    EXPECT_TRUE(Load(s.name, b)) << s.name;
  }
}

TEST_F(BrokenFileTest, EveryTruncationFails) {
  for (const Sample& s : Samples()) {
    Bytes whole = s.make();
    for (size_t n = 0; n < whole.size(); ++n) {
      Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
      formats::DecodedPicture pic;
      bool ok = formats::DecodeMemory(cut.data(), cut.size(), pic);
      // Only the GIF trailer byte is not needed to read the first frame.
      bool trailerOnly = std::string(s.name) == "a.gif" && n + 1 == whole.size();
      EXPECT_EQ(ok, trailerOnly) << s.name << " cut at " << n << " of " << whole.size();
      EXPECT_EQ(bool(pic.pixels), trailerOnly) << s.name << " cut at " << n;
    }
  }
}

TEST_F(BrokenFileTest, EmptyAndMissingFilesGiveNull) {
  testing::internal::CaptureStdout();
  for (const Sample& s : Samples()) {
    EXPECT_FALSE(Load(s.name, Bytes())) << s.name;
    EXPECT_FALSE(image::TexturePtr(formats::ReadPicture(dir_.file(std::string("missing-") + s.name).c_str())));
  }
  EXPECT_FALSE(image::TexturePtr(formats::ReadPicture(dir_.path().c_str())));  // a directory
  EXPECT_FALSE(image::TexturePtr(formats::ReadPicture("")));
  testing::internal::GetCapturedStdout();
}

// Sets 16-bit big-endian words and 32-bit words inside a copy.
Bytes Patch(Bytes b, size_t at, std::initializer_list<uint8_t> bytes) {
  for (uint8_t v : bytes) b.at(at++) = v;
  return b;
}

// PNG with a lying IHDR (the CRC is recomputed so only the size is wrong).
Bytes PngClaiming(uint32_t w, uint32_t h) {
  PngSpec s;
  s.width = 2;
  s.rows = {{1, 2, 3, 4, 5, 6}};
  Bytes b = EncodePng(s);
  b = Patch(b, 16,
            {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 24), uint8_t(h >> 16),
             uint8_t(h >> 8), uint8_t(h)});
  uLong crc = crc32(0, b.data() + 12, 17);
  return Patch(b, 29, {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
}

TEST_F(BrokenFileTest, HeadersClaimingHugePicturesFail) {
  Bytes gif = EncodeGif(2, 2, {0, 1, 1, 0}, {0, 0, 0, 255, 255, 255}, 1, -1, false);
  // The image descriptor follows the 13-byte screen descriptor and the 6-byte colour map.
  ASSERT_EQ(gif[19], 0x2C);
  Bytes tif = EncodeTiff(2, 2, 3, SmallRgb(2, 2), COMPRESSION_NONE);
  Bytes tifWide = tif, tifHuge = tif;
  {
    // Rewrite the ImageWidth and ImageLength entries of the first directory.
    uint32_t ifd = formats::decode::Le32(tif.data() + 4);
    uint16_t n = uint16_t(tif[ifd] | tif[ifd + 1] << 8);
    for (uint16_t i = 0; i < n; ++i) {
      size_t e = ifd + 2 + i * 12u;
      uint16_t tag = uint16_t(tif[e] | tif[e + 1] << 8);
      if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH) {
        tifHuge = Patch(tifHuge, e + 2, {4, 0, 1, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00});  // LONG 100000
        tifWide = Patch(tifWide, e + 2, {4, 0, 1, 0, 0, 0, 0x00, 0x40, 0x00, 0x00});  // LONG 16384
      }
    }
  }
  Bytes ilbm = BuildIlbm(2, 2, 24, {1, 2, 3, 4}, {}, 1);
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"png 100000 x 100000", PngClaiming(100000, 100000)},
      {"png 16384 x 16384", PngClaiming(16384, 16384)},
      {"gif frame 65535 x 65535", Patch(gif, 24, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"gif frame 16000 x 16000", Patch(gif, 24, {0x80, 0x3E, 0x80, 0x3E})},
      {"tiff 100000 x 100000", tifHuge},
      {"tiff 16384 x 16384", tifWide},
      {"bmp 100000 x 100000", BuildBmp(100000, 100000, 24, 0, {}, Bytes(64, 0))},
      {"bmp 16384 x 16384", BuildBmp(16384, 16384, 24, 0, {}, Bytes(64, 0))},
      {"bmp rle 16384 x 16384", BuildBmp(16384, 16384, 8, 1, Bytes(8, 0), {2, 1, 0, 1})},
      {"bmp bottom-up negative overflow", BuildBmp(1, INT32_MIN, 24, 0, {}, Bytes(64, 0))},
      {"ilbm 65535 x 65535", Patch(ilbm, 20, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"ilbm 8000 x 8000 uncompressed", Patch(Patch(ilbm, 20, {0x1F, 0x40, 0x1F, 0x40}), 30, {0})},
      {"ilbm chunk longer than file", Patch(ilbm, 16, {0x7F, 0xFF, 0xFF, 0xFF})},
      {"ilbm bad plane count", Patch(ilbm, 28, {12})},
      {"pnm 100000 x 100000",
       [] {
         std::string t = "P6 100000 100000 255\n\x01\x02\x03";
         return Bytes(t.begin(), t.end());
       }()},
      {"pnm 16000 x 16000",
       [] {
         std::string t = "P5 16000 16000 65535\n\x01\x02";
         return Bytes(t.begin(), t.end());
       }()},
      {"pnm width overflow",
       [] {
         std::string t = "P5 99999999999999999999 1 255\n\x01";
         return Bytes(t.begin(), t.end());
       }()},
      {"pnm maxval 0",
       [] {
         std::string t = "P5 1 1 0\n\x01";
         return Bytes(t.begin(), t.end());
       }()},
      {"sun 100000 x 100000", BuildSunRaster(100000, 100000, 24, 1, {}, Bytes(64, 0))},
      {"sun rle 16384 x 16384", BuildSunRaster(16384, 16384, 24, 2, {}, {0x80, 0xFF, 0})},
      {"sun map longer than file", Patch(BuildSunRaster(2, 1, 8, 1, {1, 2, 3}, {0, 0}), 28, {0x7F, 0xFF, 0xFF, 0xFF})},
      {"webp riff size past end", Patch(EncodeWebpLossless(1, 1, {1, 2, 3, 255}, false), 4, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"jpeg 65500 x 65500",
       [] {
         Bytes j = EncodeJpeg(8, 8, 3, SmallRgb(8, 8));
         for (size_t i = 2; i + 8 < j.size(); ++i)
           if (j[i] == 0xFF && j[i + 1] == 0xC0) return Patch(j, i + 5, {0xFF, 0xDC, 0xFF, 0xDC});
         return Bytes();
       }()},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.file.empty()) << c.what;
    formats::DecodedPicture pic;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(formats::DecodeMemory(c.file.data(), c.file.size(), pic)) << c.what;
    EXPECT_FALSE(Load("lie", c.file)) << c.what;
    testing::internal::GetCapturedStdout();
  }
}

TEST_F(BrokenFileTest, DecodersRefuseOtherFormats) {
  // Every decoder, handed a sample of another format, refuses it instead of misreading it.
  std::vector<Bytes> samples;
  for (const Sample& s : Samples()) samples.push_back(s.make());
  for (const formats::Decoder& d : formats::DecoderTable())
    for (size_t i = 0; i < samples.size(); ++i) {
      const Bytes& b = samples[i];
      if (d.sniff(b.data(), std::min(b.size(), formats::kSniffBytes))) continue;
      formats::DecodedPicture pic;
      EXPECT_FALSE(d.decode(b.data(), b.size(), pic)) << d.typeName << " on " << Samples()[i].name;
    }
}

}  // namespace
}  // namespace vl::test
