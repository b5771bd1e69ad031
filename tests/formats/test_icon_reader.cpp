// The icon reader on icons written by PutDiskObject and on hostile files: chunk lengths
// that reach past the end of the file, truncations, and a small file from fuzzing whose
// lying tEXt length made libpng ask for 1.5 GB.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/icon.h"
#include "test_support.h"

namespace vl::formats {
namespace {

class IconReaderTest : public test::PoolTest {
 protected:
  // Writes an icon and returns its bytes.
  std::vector<uint8_t> WriteIcon(const std::string& path) {
    image::ChunkyPtr img(test::RandomImage(5, 4, image::ARGB32, 7));
    DiskObject obj;
    obj.defaultTool = "Vistaloom";
    obj.toolTypes = {"FILETYPE=JPEG", "DONOTWAIT"};
    EXPECT_TRUE(PutDiskObject(path, obj, img.get()));
    return test::ReadFile(path);
  }
  // Offset of the first chunk of the type, or 0.
  static size_t FindChunk(const std::vector<uint8_t>& png, const char* type) {
    for (size_t pos = 8; pos + 8 <= png.size();) {
      if (std::memcmp(png.data() + pos + 4, type, 4) == 0) return pos;
      size_t len = size_t{png[pos]} << 24 | size_t{png[pos + 1]} << 16 | size_t{png[pos + 2]} << 8 | png[pos + 3];
      pos += len + 12;
    }
    return 0;
  }
  test::TempDir dir_;
};

TEST_F(IconReaderTest, ReadsWhatPutDiskObjectWrote) {
  std::string path = dir_.file("a.info");
  WriteIcon(path);
  DiskObject got;
  ASSERT_TRUE(GetDiskObject(path, got));
  EXPECT_EQ(got.width, 5);
  EXPECT_EQ(got.height, 4);
  EXPECT_EQ(got.defaultTool, "Vistaloom");
  EXPECT_EQ(got.toolTypes, (std::vector<std::string>{"FILETYPE=JPEG", "DONOTWAIT"}));
}

TEST_F(IconReaderTest, RefusesChunkLengthsPastTheEnd) {
  std::string path = dir_.file("a.info");
  std::vector<uint8_t> png = WriteIcon(path);
  size_t text = FindChunk(png, "tEXt");
  ASSERT_GT(text, 0u);
  ASSERT_LT(text, FindChunk(png, "IDAT"));
  for (uint32_t claimed : {static_cast<uint32_t>(png.size()), 0x5A453D32u, 0x7FFFFFFFu}) {
    std::vector<uint8_t> bad = png;
    bad[text] = static_cast<uint8_t>(claimed >> 24);
    bad[text + 1] = static_cast<uint8_t>(claimed >> 16);
    bad[text + 2] = static_cast<uint8_t>(claimed >> 8);
    bad[text + 3] = static_cast<uint8_t>(claimed);
    ASSERT_TRUE(test::WriteFile(dir_.file("bad.info"), bad));
    DiskObject got;
    got.defaultTool = "kept";
    EXPECT_FALSE(GetDiskObject(dir_.file("bad.info"), got)) << claimed;
    EXPECT_EQ(got.defaultTool, "kept") << "a failed read leaves the record alone";
  }
}

TEST_F(IconReaderTest, RefusesEveryTruncationBeforeThePixels) {
  std::vector<uint8_t> png = WriteIcon(dir_.file("a.info"));
  size_t idat = FindChunk(png, "IDAT");
  ASSERT_GT(idat, 0u);
  for (size_t n = 0; n < idat + 8; ++n) {
    ASSERT_TRUE(test::WriteFile(dir_.file("cut.info"), std::vector<uint8_t>(png.begin(), png.begin() + n)));
    DiskObject got;
    EXPECT_FALSE(GetDiskObject(dir_.file("cut.info"), got)) << n << " bytes";
  }
}

TEST_F(IconReaderTest, RefusesTheFuzzedLyingTextChunk) {
  const std::vector<uint8_t> input = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
      0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x08, 0x06, 0x00, 0x00, 0x00, 0xb4, 0xf4, 0xae, 0xc6, 0x00, 0x00, 0x00,
      0x1f, 0x74, 0x45, 0x58, 0x74, 0x56, 0x69, 0x73, 0x74, 0x61, 0x6c, 0x6f, 0x6f, 0x6d, 0x2d, 0x49, 0x4c, 0x45,
      0x54, 0x59, 0x50, 0x45, 0x3d, 0x4a, 0x50, 0x45, 0x47, 0x0a, 0x44, 0x4f, 0x4e, 0x4f, 0x54, 0x57, 0x41, 0x49,
      0x54, 0x0a, 0x53, 0x49, 0x5a, 0x45, 0x3d, 0x31, 0x74, 0x45, 0x58, 0x74, 0x56, 0x69, 0x73, 0x74, 0x61, 0x6c,
      0x6f, 0x6f, 0x6d, 0x2d, 0x54, 0x6f, 0x6f, 0x6c, 0x54, 0x79, 0x70, 0x66, 0x73, 0x00, 0x46, 0x49, 0x4c, 0x45,
      0x54, 0x59, 0x50, 0x45, 0x3d, 0x4a, 0x50, 0x45, 0x47, 0x0a, 0x44, 0x4f, 0x4e, 0x4f, 0x54, 0x57, 0x41, 0x49,
      0x54, 0x0a, 0x53, 0x49, 0x5a, 0x45, 0x3d, 0x31, 0x32, 0x30, 0x0a, 0x40, 0x4e, 0x81, 0x28, 0x00, 0x00, 0x00,
      0x22, 0x49, 0x44, 0x41, 0x54, 0x2e, 0xc2, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x00, 0x35, 0x42, 0x60, 0x82};
  ASSERT_TRUE(test::WriteFile(dir_.file("fuzzed.info"), input));
  DiskObject got;
  EXPECT_FALSE(GetDiskObject(dir_.file("fuzzed.info"), got));
}

// A header claiming 16384 x 16384 pixels in a file of a few hundred bytes gives no icon
// (the fuzz corpus replay holds the same input under a 512 MB allocation limit, which
// catches a reader that makes the 1 GB buffer first); the true size reads with pixels.
TEST_F(IconReaderTest, RefusesPixelsTheFileCannotHold) {
  std::vector<uint8_t> png = WriteIcon(dir_.file("a.info"));
  {
    DiskObjectPtr icon(GetDiskObject(dir_.file("a")));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->image->width, 5);
  }
  // IHDR width and height sit at bytes 16..23; libpng checks the IHDR CRC, so rewrite it.
  std::vector<uint8_t> big = png;
  for (int i : {16, 20}) big[i] = 0, big[i + 1] = 0, big[i + 2] = 0x40, big[i + 3] = 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 12; i < 29; ++i) {
    crc ^= big[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int k = 0; k < 4; ++k) big[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  ASSERT_TRUE(test::WriteFile(dir_.file("big.info"), big));
  DiskObject meta;
  ASSERT_TRUE(GetDiskObject(dir_.file("big.info"), meta)) << "the header itself is well formed";
  EXPECT_EQ(meta.width, 16384);
  EXPECT_EQ(GetDiskObject(dir_.file("big")), nullptr);
}

// Icons written by other programs come in every colour type. The PNG decoder gives each
// as ARGB32, byte for byte what libpng's own reader gives for an 8-bit file.
TEST_F(IconReaderTest, EveryEightBitColourTypeReadsAsLibpngReadsIt) {
  struct Case {
    const char* name;
    png_uint_32 format;
    int bytesPerPixel;  // in the buffer written (1 for the colour-mapped ones: an index)
  } cases[] = {
      {"grey", PNG_FORMAT_GRAY, 1},
      {"grey-alpha", PNG_FORMAT_GA, 2},
      {"rgb", PNG_FORMAT_RGB, 3},
      {"rgba", PNG_FORMAT_RGBA, 4},
      {"palette", PNG_FORMAT_RGB_COLORMAP, 1},
      {"palette-alpha", PNG_FORMAT_RGBA_COLORMAP, 1},
  };
  const int w = 6, h = 3;
  for (const Case& c : cases) {
    const bool mapped = (c.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    std::vector<uint8_t> pixels(static_cast<size_t>(w * h * c.bytesPerPixel)), colormap;
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(mapped ? i % 16 : i * 37 + 11);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = w;
    png.height = h;
    png.format = c.format;
    if (mapped) {
      png.colormap_entries = 16;
      colormap.resize(16 * PNG_IMAGE_SAMPLE_CHANNELS(c.format));
      for (size_t i = 0; i < colormap.size(); ++i) colormap[i] = static_cast<uint8_t>(i * 53 + 7);
    }
    const std::string path = dir_.file(c.name) + kIconSuffix;
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, pixels.data(), 0, mapped ? colormap.data() : nullptr))
        << c.name;

    png_image ref;
    std::memset(&ref, 0, sizeof ref);
    ref.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&ref, path.c_str())) << c.name;
    ref.format = PNG_FORMAT_ARGB;
    std::vector<uint8_t> expected(PNG_IMAGE_SIZE(ref));
    ASSERT_TRUE(png_image_finish_read(&ref, nullptr, expected.data(), 0, nullptr)) << c.name;

    DiskObjectPtr icon(GetDiskObject(dir_.file(c.name)));
    ASSERT_NE(icon, nullptr) << c.name;
    EXPECT_TRUE(icon->toolTypes.empty() && icon->defaultTool.empty()) << c.name;
    ASSERT_EQ(icon->image->width, w) << c.name;
    ASSERT_EQ(icon->image->height, h) << c.name;
    ASSERT_EQ(icon->image->format, image::ARGB32) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(icon->image->pixels, icon->image->pixels + expected.size()), expected) << c.name;
  }
}

}  // namespace
}  // namespace vl::formats
