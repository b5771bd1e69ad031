// The cache with the real JPEG writer and reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "test_support.h"
#include "thumbs/cache.h"

namespace vl::thumbs {
namespace {

using image::ChunkyPtr;
using vl::test::TempDir;
using vl::test::WriteFile;

class CacheJpeg : public vl::test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    cache_.root = dir_.file("cache");
    source_ = dir_.file("picture.png");
    ASSERT_TRUE(WriteFile(source_, std::string(999, 'p')));
    ASSERT_TRUE(FileDateStamp(source_, date_));
  }
  // A smooth ARGB32 gradient, which JPEG keeps close.
  ChunkyPtr Gradient(int w, int h) {
    ChunkyPtr c(image::chk_Create(w, h, image::ARGB32, false));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        image::SetPixel(c.get(), x, y, 255, static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), 128);
    return c;
  }
  TempDir dir_;
  CacheContext cache_;
  std::string source_;
  DateStamp date_;
};

TEST_F(CacheJpeg, DefaultCodecStoresAndReadsRealJpegFiles) {
  ASSERT_NE(cache_.codec.saveJpeg, nullptr);
  ASSERT_NE(cache_.codec.readJpeg, nullptr);
  ChunkyPtr t = Gradient(48, 36);
  ASSERT_TRUE(StoreImage(cache_, source_, t.get(), 0, 999, date_, 120, 90, 1920, 1440, "PNG"));
  std::string file = CacheFilePath(cache_.root, source_);
  std::vector<uint8_t> bytes = vl::test::ReadFile(file);
  ASSERT_GT(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);  // a JPEG whatever the source's suffix

  CacheEntryPtr e(LoadImage(cache_, source_, 999, date_, 120, 90));
  ASSERT_NE(e, nullptr);
  ASSERT_NE(e->image, nullptr);
  EXPECT_EQ(e->image->format, image::RGB24);
  ASSERT_EQ(e->image->width, 48);
  ASSERT_EQ(e->image->height, 36);
  EXPECT_EQ(e->sourceWidth, 1920);
  EXPECT_EQ(e->sourceHeight, 1440);
  EXPECT_EQ(e->formatName, "PNG");
  EXPECT_EQ(e->sourceSize, 999u);
  int worst = 0;
  for (int y = 0; y < 36; ++y) {
    for (int x = 0; x < 48; ++x) {
      uint8_t a, r, g, b;
      image::GetPixel(e->image, x, y, a, r, g, b);
      worst = std::max({worst, std::abs(r - x * 4), std::abs(g - y * 4), std::abs(b - 128)});
    }
  }
  EXPECT_LE(worst, 12);
}

TEST_F(CacheJpeg, LowerQualitiesMakeSmallerFiles) {
  ChunkyPtr t(vl::test::RandomImage(64, 64, image::ARGB32, 11));
  for (int i = 0; i < 64 * 64; ++i) t->pixels[i * 4] = 255;
  std::string file = CacheFilePath(cache_.root, source_);
  size_t sizes[3];
  for (uint32_t type = 0; type < 3; ++type) {
    ASSERT_TRUE(StoreImage(cache_, source_, t.get(), type, 999, date_, 120, 90, 64, 64, "PNG"));
    sizes[type] = vl::test::ReadFile(file).size();
    EXPECT_NE(CacheEntryPtr(LoadImage(cache_, source_, 999, date_, 120, 90)), nullptr);
  }
  EXPECT_GT(sizes[0], sizes[1]);
  EXPECT_GT(sizes[1], sizes[2]);
}

TEST_F(CacheJpeg, CorruptCacheFileIsAMiss) {
  ChunkyPtr t = Gradient(16, 16);
  ASSERT_TRUE(StoreImage(cache_, source_, t.get(), 0, 999, date_, 120, 90, 16, 16, "PNG"));
  std::string file = CacheFilePath(cache_.root, source_);
  std::string comment;
  ASSERT_TRUE(ReadCacheComment(cache_.root, file, comment));
  std::vector<uint8_t> bytes = vl::test::ReadFile(file);
  bytes.resize(bytes.size() / 3);
  ASSERT_TRUE(WriteFile(file, bytes));
  ASSERT_TRUE(WriteCacheComment(cache_.root, file, comment));
  EXPECT_EQ(CacheEntryPtr(LoadImage(cache_, source_, 999, date_, 120, 90)), nullptr);
}

}  // namespace
}  // namespace vl::thumbs
