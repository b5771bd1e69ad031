#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/loader.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "savers_test_util.h"
#include "test_support.h"

namespace vl::formats {
namespace {

struct PngRead {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  int colorType = -1, bitDepth = 0, interlace = -1;
  std::vector<uint8_t> pixels;  // rows as stored, no transformations
};

// Reads a PNG back with libpng, without any transformation, so the stored colour type
// and bytes are what comes back.
PngRead ReadPngFile(const std::string& path) {
  PngRead result;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return result;
  }
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return PngRead{};
  }
  png_init_io(png, f);
  png_read_info(png, info);
  result.width = png_get_image_width(png, info);
  result.height = png_get_image_height(png, info);
  result.colorType = png_get_color_type(png, info);
  result.bitDepth = png_get_bit_depth(png, info);
  result.interlace = png_get_interlace_type(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  result.pixels.resize(rowBytes * result.height);
  rows.resize(result.height);
  for (png_uint_32 y = 0; y < result.height; ++y) rows[y] = result.pixels.data() + y * rowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  result.ok = true;
  return result;
}

class PngSave : public test::PoolTest {
 protected:
  test::TempDir dir_;
  std::vector<std::string> DirEntries() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(PngSave, Argb32WithAlphaIsRgbaWithTheImagesAlpha) {
  image::ChunkyPtr img(test::RandomImage(29, 13, image::ARGB32, 11));
  ASSERT_TRUE(img);
  std::string path = dir_.file("a.png");
  ASSERT_EQ(SavePNG(img.get(), path.c_str(), true), 1);
  PngRead r = ReadPngFile(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 29u);
  EXPECT_EQ(r.height, 13u);
  EXPECT_EQ(r.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
  EXPECT_EQ(r.bitDepth, 8);
  EXPECT_EQ(r.interlace, PNG_INTERLACE_NONE);
  ASSERT_EQ(r.pixels.size(), 29u * 13 * 4);
  bool alphaVaries = false;
  for (size_t i = 0; i < 29u * 13; ++i) {
    const uint8_t* s = img->pixels + i * 4;  // A R G B
    const uint8_t* d = r.pixels.data() + i * 4;
    ASSERT_EQ(d[0], s[1]) << i;
    ASSERT_EQ(d[1], s[2]) << i;
    ASSERT_EQ(d[2], s[3]) << i;
    ASSERT_EQ(d[3], s[0]) << i;
    if (s[0] != 255) alphaVaries = true;
  }
  EXPECT_TRUE(alphaVaries) << "the test image should carry alpha";
}

TEST_F(PngSave, SavedFileOpensThroughTheLoader) {
  image::ChunkyPtr img(test::RandomImage(21, 6, image::ARGB32, 16));
  ASSERT_TRUE(img);
  std::string path = dir_.file("loop.png");
  ASSERT_EQ(SavePNG(img.get(), path.c_str(), true), 1);
  image::TexturePtr back(ReadPicture(path.c_str()));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->chunky->format, image::ARGB32);
  EXPECT_EQ(std::vector<uint8_t>(back->chunky->pixels, back->chunky->pixels + 21 * 6 * 4),
            std::vector<uint8_t>(img->pixels, img->pixels + 21 * 6 * 4));
}

TEST_F(PngSave, Argb32WithoutAlphaIsRgb) {
  image::ChunkyPtr img(test::RandomImage(17, 5, image::ARGB32, 12));
  ASSERT_TRUE(img);
  std::string path = dir_.file("b.png");
  ASSERT_EQ(SavePNG(img.get(), path.c_str(), false), 1);
  PngRead r = ReadPngFile(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.colorType, PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(r.bitDepth, 8);
  ASSERT_EQ(r.pixels.size(), 17u * 5 * 3);
  for (size_t i = 0; i < 17u * 5; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(r.pixels[i * 3 + c], img->pixels[i * 4 + 1 + c]) << i;
}

TEST_F(PngSave, Rgb24IsRgbEvenWithAlphaAsked) {
  image::ChunkyPtr img(test::RandomImage(8, 9, image::RGB24, 13));
  ASSERT_TRUE(img);
  for (bool withAlpha : {true, false}) {
    std::string path = dir_.file(withAlpha ? "c1.png" : "c0.png");
    ASSERT_EQ(SavePNG(img.get(), path.c_str(), withAlpha), 1);
    PngRead r = ReadPngFile(path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(r.pixels, std::vector<uint8_t>(img->pixels, img->pixels + 8 * 9 * 3));
  }
}

TEST_F(PngSave, TextureFormSavesItsImage) {
  image::TexturePtr tex(image::CreateTexture(3, 2, image::ARGB32));
  ASSERT_TRUE(tex);
  image::Fill(tex->chunky, 10, 20, 30, 40);
  std::string path = dir_.file("t.png");
  ASSERT_EQ(SavePNG(tex.get(), path.c_str(), true), 1);
  PngRead r = ReadPngFile(path);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.pixels.size(), 3u * 2 * 4);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(r.pixels[i * 4], 10);
    EXPECT_EQ(r.pixels[i * 4 + 3], 40);
  }
  EXPECT_EQ(SavePNG(static_cast<const image::Texture*>(nullptr), path.c_str(), true), 0);
}

TEST_F(PngSave, UnsupportedOrEmptyImagesAreRefusedWithoutTouchingTheFile) {
  std::string path = dir_.file("keep.png");
  const std::string oldText = "old contents";
  ASSERT_TRUE(test::WriteFile(path, oldText));
  image::ChunkyPtr grey(image::chk_Create(4, 4, image::GREY8, true));
  image::ChunkyPtr rgba(image::chk_Create(4, 4, image::RGBA32, true));
  ASSERT_TRUE(grey && rgba);
  image::ChunkyImage noRows{4, 0, grey->pixels, image::ARGB32};
  image::ChunkyImage noColumns{0, 4, grey->pixels, image::ARGB32};
  image::ChunkyImage noPixels{4, 4, nullptr, image::ARGB32};
  EXPECT_EQ(SavePNG(grey.get(), path.c_str(), false), 0);
  EXPECT_EQ(SavePNG(rgba.get(), path.c_str(), true), 0);
  EXPECT_EQ(SavePNG(&noRows, path.c_str(), true), 0);
  EXPECT_EQ(SavePNG(&noColumns, path.c_str(), true), 0);
  EXPECT_EQ(SavePNG(&noPixels, path.c_str(), true), 0);
  EXPECT_EQ(SavePNG(static_cast<const image::ChunkyImage*>(nullptr), path.c_str(), true), 0);
  EXPECT_EQ(SavePNG(grey.get(), nullptr, true), 0);
  EXPECT_EQ(test::ReadFile(path), std::vector<uint8_t>(oldText.begin(), oldText.end()));
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"keep.png"});
}

TEST_F(PngSave, UnopenableFileFails) {
  image::ChunkyPtr img(test::RandomImage(4, 4, image::ARGB32, 14));
  EXPECT_EQ(SavePNG(img.get(), dir_.file("no/such/dir/x.png").c_str(), true), 0);
  EXPECT_TRUE(DirEntries().empty());
}

TEST_F(PngSave, FailedWriteLeavesTheOldFileAsItWas) {
  std::string path = dir_.file("old.png");
  std::vector<uint8_t> old(2000, 0x33);
  ASSERT_TRUE(test::WriteFile(path, old));
  // Noise does not compress, so the file would be far larger than the limit.
  image::ChunkyPtr img(test::RandomImage(300, 300, image::ARGB32, 15));
  int rc;
  {
    test::FileSizeLimit limit(16384);
    ASSERT_TRUE(limit.active());
    testing::internal::CaptureStderr();  // libpng's own error text
    rc = SavePNG(img.get(), path.c_str(), true);
    testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(test::ReadFile(path), old);
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"old.png"});
  EXPECT_EQ(SavePNG(img.get(), path.c_str(), true), 1);
  EXPECT_TRUE(ReadPngFile(path).ok);
}

TEST_F(PngSave, WidthBeyondLibpngLimitFailsCleanly) {
  // libpng refuses rows wider than its user limit; the error jump must give 0 and no file.
  image::ChunkyPtr img(image::chk_Create(1000001, 1, image::RGB24, true));
  ASSERT_TRUE(img);
  std::string path = dir_.file("wide.png");
  testing::internal::CaptureStderr();
  int rc = SavePNG(img.get(), path.c_str(), false);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(DirEntries().empty());
}

}  // namespace
}  // namespace vl::formats
