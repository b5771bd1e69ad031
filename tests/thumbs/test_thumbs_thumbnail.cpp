#include <gtest/gtest.h>

#include <climits>

#include "test_support.h"
#include "thumbs/thumbnail.h"

namespace vl::thumbs {
namespace {

using image::ChunkyPtr;

class FrameBlend : public vl::test::PoolTest {};

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
