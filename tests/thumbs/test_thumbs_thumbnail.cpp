#include <gtest/gtest.h>

#include <climits>

#include "test_support.h"
#include "thumbs/thumbnail.h"

namespace vl::thumbs {
namespace {

using image::ChunkyPtr;

ChunkyPtr Solid(int w, int h, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  ChunkyPtr c(image::chk_Create(w, h, image::ARGB32, false));
  image::Fill(c.get(), r, g, b, a);
  return c;
}

void Expect(const image::ChunkyImage* img, int x, int y, int a, int r, int g, int b) {
  uint8_t pa, pr, pg, pb;
  image::GetPixel(img, x, y, pa, pr, pg, pb);
  EXPECT_EQ(pa, a) << x << "," << y;
  EXPECT_EQ(pr, r) << x << "," << y;
  EXPECT_EQ(pg, g) << x << "," << y;
  EXPECT_EQ(pb, b) << x << "," << y;
}

class FrameBlend : public vl::test::PoolTest {};

TEST_F(FrameBlend, ShiftsRoundTowardMinusInfinity) {
  ChunkyPtr frame = Solid(4, 4, 200, 255, 10, 100);
  ChunkyPtr src = Solid(2, 2, 128, 0, 20, 100);
  BlendIntoFrame(frame.get(), src.get(), 1, 1);
  // R: 255 + ((-255 * 128) >> 8) = 255 - 128; G: 10 + ((10 * 128) >> 8) = 15;
  // B unchanged; A: (128 * 200) >> 8 = 100.
  Expect(frame.get(), 1, 1, 100, 127, 15, 100);
  Expect(frame.get(), 2, 2, 100, 127, 15, 100);
  Expect(frame.get(), 0, 0, 200, 255, 10, 100);
  Expect(frame.get(), 3, 3, 200, 255, 10, 100);
  Expect(frame.get(), 3, 1, 200, 255, 10, 100);
}

TEST_F(FrameBlend, OpaqueSourceNearlyReplaces) {
  ChunkyPtr frame = Solid(3, 3, 255, 0, 0, 0);
  ChunkyPtr src = Solid(1, 1, 255, 255, 128, 1);
  BlendIntoFrame(frame.get(), src.get(), 0, 0);
  // (255 * 255) >> 8 = 254, and 0 + ((255 * 255) >> 8) = 254.
  Expect(frame.get(), 0, 0, 254, 254, 127, 0);
}

TEST_F(FrameBlend, ClippedOnEverySide) {
  ChunkyPtr frame = Solid(4, 3, 255, 50, 50, 50);
  ChunkyPtr src = Solid(3, 3, 255, 250, 250, 250);
  BlendIntoFrame(frame.get(), src.get(), -2, -1);
  Expect(frame.get(), 0, 0, 254, 249, 249, 249);
  Expect(frame.get(), 0, 1, 254, 249, 249, 249);
  Expect(frame.get(), 1, 0, 255, 50, 50, 50);
  Expect(frame.get(), 0, 2, 255, 50, 50, 50);
  ChunkyPtr frame2 = Solid(4, 3, 255, 50, 50, 50);
  BlendIntoFrame(frame2.get(), src.get(), 2, 1);
  Expect(frame2.get(), 3, 2, 254, 249, 249, 249);
  Expect(frame2.get(), 1, 2, 255, 50, 50, 50);
  // Entirely outside: nothing changes.
  ChunkyPtr frame3 = Solid(4, 3, 255, 50, 50, 50);
  BlendIntoFrame(frame3.get(), src.get(), 4, 0);
  BlendIntoFrame(frame3.get(), src.get(), -3, 0);
  BlendIntoFrame(frame3.get(), src.get(), 0, 1 << 30);
  BlendIntoFrame(frame3.get(), src.get(), INT_MIN, INT_MIN);
  BlendIntoFrame(frame3.get(), src.get(), INT_MAX, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) Expect(frame3.get(), x, y, 255, 50, 50, 50);
}

}  // namespace
}  // namespace vl::thumbs

namespace vl::thumbs {
namespace {

class MakeThumb : public vl::test::PoolTest {};

TEST_F(MakeThumb, KeepsTheAspectOrFillsTheBox) {
  ChunkyPtr src(vl::test::RandomImage(200, 100, image::ARGB32, 3));
  ChunkyPtr fit(MakeThumbnail(src.get(), nullptr, 40, 40, 0, 0, false, true));
  ASSERT_NE(fit, nullptr);
  EXPECT_EQ(fit->width, 40);
  EXPECT_EQ(fit->height, 20);
  ChunkyPtr box(MakeThumbnail(src.get(), nullptr, 40, 40, 0, 0, false, false));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->width, 40);
  EXPECT_EQ(box->height, 40);
  // Small sources are enlarged to the box as well.
  ChunkyPtr tiny(vl::test::RandomImage(3, 2, image::ARGB32, 4));
  ChunkyPtr up(MakeThumbnail(tiny.get(), nullptr, 30, 30, 0, 0, false, true));
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->width, 30);
  EXPECT_EQ(up->height, 20);
}

TEST_F(MakeThumb, FreesTheSourceWhenAsked) {
  size_t before = image::PoolBlockCount();
  image::ChunkyImage* src = vl::test::RandomImage(50, 50, image::ARGB32, 5);
  ChunkyPtr t(MakeThumbnail(src, nullptr, 10, 10, 0, 0, true, true));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(image::PoolBlockCount(), before + 1);  // only the thumbnail remains
  // A failed resample (RGB24 is refused) frees it too, and says so.
  image::ChunkyImage* rgb = vl::test::RandomImage(50, 50, image::RGB24, 5);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(MakeThumbnail(rgb, nullptr, 10, 10, 0, 0, true, true), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "not enough memory to resize the image\n");
  EXPECT_EQ(image::PoolBlockCount(), before + 1);
}

TEST_F(MakeThumb, FramedPictureIsCentredAndMovedByTheOffsets) {
  ChunkyPtr src = Solid(200, 100, 255, 200, 100, 50);
  ChunkyPtr frame = Solid(40, 40, 255, 10, 20, 30);
  ChunkyPtr t(MakeThumbnail(src.get(), frame.get(), 40, 40, 0, 3, false, true));
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->width, 40);
  ASSERT_EQ(t->height, 40);
  // The 40 x 20 picture lies at y = (40 - 20) / 2 + 3 = 13 .. 32; the frame keeps the rest.
  for (int y : {0, 12, 33, 39}) Expect(t.get(), 20, y, 255, 10, 20, 30);
  for (int y : {13, 20, 32}) {
    for (int x : {0, 39}) {
      // A solid picture resamples to itself: R = 10 + ((190 * 255) >> 8) = 199, and so on.
      Expect(t.get(), x, y, 254, 199, 99, 49);
    }
  }
  // The frame itself is untouched.
  Expect(frame.get(), 20, 20, 255, 10, 20, 30);
}

}  // namespace
}  // namespace vl::thumbs
