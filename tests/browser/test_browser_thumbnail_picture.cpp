#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "browser/thumbnail_picture.h"
#include "test_support.h"

namespace vl::browser {
namespace {

using PictureTest = test::PoolTest;

image::ChunkyPtr Rgb(int w, int h, uint32_t seed) {
  image::ChunkyPtr argb(test::RandomImage(w, h, image::ARGB32, seed));
  image::ChunkyPtr rgb(image::chk_Create(w, h, image::RGB24, false));
  image::ConvertARGB32ToRGB24(argb->pixels, rgb->pixels, w, h);
  return rgb;
}

TEST(Brighten, ChannelRule) {
  EXPECT_EQ(BrightenChannel(0), 40);
  EXPECT_EQ(BrightenChannel(3), 43);     // 15/4 truncates to 3
  EXPECT_EQ(BrightenChannel(172), 255);  // 215 + 40
  EXPECT_EQ(BrightenChannel(171), 253);  // 213 + 40
  EXPECT_EQ(BrightenChannel(255), 255);
}

TEST(Brighten, RowSkipsTheAlphaOfFourBytePixels) {
  uint8_t argb[8] = {7, 0, 100, 200, 9, 4, 8, 12};
  BrightenRow(argb, 2, 4);
  EXPECT_EQ(argb[0], 7);
  EXPECT_EQ(argb[1], 40);
  EXPECT_EQ(argb[2], 165);
  EXPECT_EQ(argb[3], 255);
  EXPECT_EQ(argb[4], 9);
  uint8_t rgb[3] = {0, 100, 200};
  BrightenRow(rgb, 1, 3);
  EXPECT_EQ(rgb[0], 40);
}

TEST(Placement, CentredWhenSmallerElseFromTheCorner) {
  EXPECT_EQ(CentreOffset(120, 80), 20);
  EXPECT_EQ(CentreOffset(120, 81), 19);
  EXPECT_EQ(CentreOffset(120, 120), 0);
  EXPECT_EQ(CentreOffset(120, 500), 0);
}

TEST_F(PictureTest, KeepsItsOwnCopyPackedWhenSavingMemory) {
  image::ChunkyPtr src(image::chk_Create(6, 4, image::RGB24, false));
  image::Fill(src.get(), 200, 100, 50, 255);
  ThumbnailPicture packed(10, 8, true);
  ASSERT_TRUE(packed.SetPicture(src.get()));
  EXPECT_TRUE(packed.Packed());
  src.reset();  // the caller's picture may go
  image::ChunkyPtr back = packed.CopyRGB();
  ASSERT_TRUE(back);
  // Luma/chroma packing is lossy, but a flat colour comes back close.
  for (size_t i = 0; i < 6 * 4 * 3; i += 3) {
    EXPECT_NEAR(back->pixels[i], 200, 3) << i;
    EXPECT_NEAR(back->pixels[i + 1], 100, 3) << i;
    EXPECT_NEAR(back->pixels[i + 2], 50, 3) << i;
  }
  ThumbnailPicture plain(10, 8, false);
  image::ChunkyPtr src2 = Rgb(6, 4, 1);
  ASSERT_TRUE(plain.SetPicture(src2.get()));
  EXPECT_FALSE(plain.Packed());
  image::ChunkyPtr exact = plain.CopyRGB();
  EXPECT_EQ(std::memcmp(exact->pixels, src2->pixels, 6 * 4 * 3), 0);
}

TEST_F(PictureTest, OddWidthsStayRgbAndAlphaIsDropped) {
  image::ChunkyPtr argb(test::RandomImage(5, 3, image::ARGB32, 9));
  ThumbnailPicture p(10, 10, true);
  ASSERT_TRUE(p.SetPicture(argb.get()));
  EXPECT_FALSE(p.Packed());
  image::ChunkyPtr rgb = p.CopyRGB();
  EXPECT_EQ(rgb->pixels[0], argb->pixels[1]);
  EXPECT_EQ(rgb->pixels[2], argb->pixels[3]);
  ASSERT_TRUE(p.SetPicture(nullptr));
  EXPECT_FALSE(p.HasPicture());
  image::ChunkyPtr grey(image::chk_Create(4, 4, image::GREY8, true));
  EXPECT_FALSE(p.SetPicture(grey.get()));
  EXPECT_FALSE(p.HasPicture());
}

TEST_F(PictureTest, DrawCentresClipsAndBrightens) {
  image::ChunkyPtr src = Rgb(4, 2, 3);
  ThumbnailPicture p(8, 6, false);
  ASSERT_TRUE(p.SetPicture(src.get()));
  std::vector<uint8_t> area(8 * 6 * 3, 0xEE);
  p.Draw(area.data(), false);
  // Offset (2, 2); everything else untouched.
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 3; ++c) {
        uint8_t got = area[(y * 8 + x) * 3 + c];
        bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
        uint8_t want = inside ? src->pixels[((y - 2) * 4 + (x - 2)) * 3 + c] : 0xEE;
        ASSERT_EQ(got, want) << x << "," << y;
      }
  std::vector<uint8_t> sel(8 * 6 * 3, 0xEE);
  p.Draw(sel.data(), true);
  EXPECT_EQ(sel[(2 * 8 + 2) * 3], BrightenChannel(src->pixels[0]));
  EXPECT_EQ(sel[0], 0xEE);

  // A picture larger than the area is drawn from the corner and clipped.
  image::ChunkyPtr big = Rgb(10, 9, 4);
  ThumbnailPicture small(4, 3, true);
  ASSERT_TRUE(small.SetPicture(big.get()));
  ASSERT_TRUE(small.Packed());
  image::ChunkyPtr unpacked = small.CopyRGB();
  std::vector<uint8_t> clip(4 * 3 * 3, 0);
  small.Draw(clip.data(), false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(clip[(y * 4 + x) * 3 + 1], unpacked->pixels[(y * 10 + x) * 3 + 1]);
}

}  // namespace
}  // namespace vl::browser
