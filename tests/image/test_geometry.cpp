#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "image/chunky.h"
#include "image/geometry.h"
#include "test_support.h"

namespace vl::image {
namespace {

using test::PoolTest;
using test::RandomImage;

class GeometryTest : public PoolTest {};

std::vector<uint8_t> Bytes(const ChunkyImage* c) {
  return std::vector<uint8_t>(c->pixels, c->pixels + BufferBytes(c->width, c->height, c->format));
}

const uint8_t* PixelPtr(const ChunkyImage* c, int x, int y) {
  return c->pixels + (static_cast<size_t>(y) * c->width + x) * BytesPerPixel(c->format);
}

bool SamePixel(const ChunkyImage* a, int ax, int ay, const ChunkyImage* b, int bx, int by) {
  return std::memcmp(PixelPtr(a, ax, ay), PixelPtr(b, bx, by), BytesPerPixel(a->format)) == 0;
}

void PutARGB(ChunkyImage* c, int x, int y, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  uint8_t* p = c->pixels + (static_cast<size_t>(y) * c->width + x) * 4;
  p[0] = a, p[1] = r, p[2] = g, p[3] = b;
}

TexturePtr WrapTexture(ChunkyImage* c) {
  TexturePtr t(CreateTexture(1, 1, ARGB32));
  chk_Free(t->chunky);
  t->chunky = c;
  return t;
}

// ---------------------------------------------------------------- rotations

TEST_F(GeometryTest, RotateThreeByTwo) {
  // a b c        d a
  // d e f   ->   e b
  //              f c
  ChunkyPtr src(chk_Create(3, 2, GREY8, false));
  const uint8_t values[] = {'a', 'b', 'c', 'd', 'e', 'f'};
  std::memcpy(src->pixels, values, 6);
  ChunkyPtr cw(RotateClockwise(src.get()));
  ASSERT_TRUE(cw);
  EXPECT_EQ(cw->width, 2);
  EXPECT_EQ(cw->height, 3);
  EXPECT_EQ(Bytes(cw.get()), (std::vector<uint8_t>{'d', 'a', 'e', 'b', 'f', 'c'}));
  ChunkyPtr ccw(RotateCounterClockwise(src.get()));
  ASSERT_TRUE(ccw);
  EXPECT_EQ(ccw->width, 2);
  EXPECT_EQ(ccw->height, 3);
  EXPECT_EQ(Bytes(ccw.get()), (std::vector<uint8_t>{'c', 'f', 'b', 'e', 'a', 'd'}));

  ChunkyPtr src4(RandomImage(3, 2, ARGB32, 1));
  ChunkyPtr cw4(RotateClockwise(src4.get()));
  ASSERT_TRUE(cw4);
  EXPECT_TRUE(SamePixel(cw4.get(), 1, 0, src4.get(), 0, 0));  // top-left goes to the top-right
  ChunkyPtr ccw4(RotateCounterClockwise(src4.get()));
  ASSERT_TRUE(ccw4);
  EXPECT_TRUE(SamePixel(ccw4.get(), 0, 2, src4.get(), 0, 0));  // top-left goes to the bottom-left
}

TEST_F(GeometryTest, RotationsFollowThePlainMappingAcrossStrips) {
  const int sizes[][2] = {{1, 1}, {1, 2}, {2, 1}, {1, 130}, {130, 1}, {7, 64}, {5, 65}, {33, 129}, {200, 3}};
  for (uint32_t format : {ARGB32, RGBA32, GREY8, ALPHA8, BYTE8}) {
    for (auto& s : sizes) {
      const int w = s[0], h = s[1];
      ChunkyPtr src(RandomImage(w, h, format, w * 1000 + h));
      ChunkyPtr cw(RotateClockwise(src.get()));
      ChunkyPtr ccw(RotateCounterClockwise(src.get()));
      ASSERT_TRUE(cw);
      ASSERT_TRUE(ccw);
      ASSERT_EQ(cw->width, h);
      ASSERT_EQ(cw->height, w);
      ASSERT_EQ(ccw->format, format);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_TRUE(SamePixel(cw.get(), h - 1 - y, x, src.get(), x, y)) << w << "x" << h << " at " << x << "," << y;
          ASSERT_TRUE(SamePixel(ccw.get(), y, w - 1 - x, src.get(), x, y)) << w << "x" << h << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(GeometryTest, FourTurnsRestoreAndOppositeTurnsCancel) {
  for (uint32_t format : {ARGB32, GREY8}) {
    ChunkyPtr src(RandomImage(3, 2, format, 9));
    ChunkyPtr img(chk_Duplicate(src.get()));
    for (int i = 0; i < 4; ++i) {
      ChunkyPtr next(RotateClockwise(img.get()));
      ASSERT_TRUE(next);
      img = std::move(next);
    }
    EXPECT_EQ(img->width, 3);
    EXPECT_EQ(Bytes(img.get()), Bytes(src.get()));
    ChunkyPtr big(RandomImage(70, 131, format, 10));
    ChunkyPtr there(RotateClockwise(big.get()));
    ChunkyPtr back(RotateCounterClockwise(there.get()));
    ASSERT_TRUE(back);
    EXPECT_EQ(Bytes(back.get()), Bytes(big.get()));
  }
}

TEST_F(GeometryTest, RotationRefusals) {
  for (uint32_t format : {RGB24, RGB565, ARGB4444, WORD16}) {
    ChunkyPtr src(RandomImage(4, 3, format, 1));
    EXPECT_EQ(RotateClockwise(src.get()), nullptr);
    EXPECT_EQ(RotateCounterClockwise(src.get()), nullptr);
  }
  EXPECT_EQ(RotateClockwise(nullptr), nullptr);
  ChunkyImage empty;
  empty.width = 2, empty.height = 2, empty.format = ARGB32;
  EXPECT_EQ(RotateCounterClockwise(&empty), nullptr);
  EXPECT_STREQ(kRotationFailedMessage, "Not enough memory to perform rotation\n");
}

TEST_F(GeometryTest, RotationFailureMessageGoesToStandardOutput) {
  testing::internal::CaptureStdout();
  ReportRotationFailure();
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not enough memory to perform rotation\n");
}

// ---------------------------------------------------------------- flips

TEST_F(GeometryTest, FlipsMirrorAndKeepTheMiddle) {
  for (uint32_t format : {ARGB32, GREY8, RGB24, RGB565}) {
    for (auto [w, h] : {std::pair{5, 3}, std::pair{4, 4}, std::pair{1, 1}, std::pair{1, 6}, std::pair{7, 1}}) {
      ChunkyPtr src(RandomImage(w, h, format, w + h));
      ChunkyPtr flipped(chk_Duplicate(src.get()));
      FlipHorizontal(flipped.get());
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_TRUE(SamePixel(flipped.get(), w - 1 - x, y, src.get(), x, y));
      FlipHorizontal(flipped.get());
      EXPECT_EQ(Bytes(flipped.get()), Bytes(src.get()));

      FlipVertical(flipped.get());
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_TRUE(SamePixel(flipped.get(), x, h - 1 - y, src.get(), x, y));
      FlipVertical(flipped.get());
      EXPECT_EQ(Bytes(flipped.get()), Bytes(src.get()));
    }
  }
}

TEST_F(GeometryTest, HalfTurnIsBothFlips) {
  ChunkyPtr src(RandomImage(5, 3, ARGB32, 4));
  ChunkyPtr half(chk_Duplicate(src.get()));
  FlipHorizontal(half.get());
  FlipVertical(half.get());
  ChunkyPtr one(RotateClockwise(src.get()));
  ChunkyPtr two(RotateClockwise(one.get()));
  EXPECT_EQ(Bytes(half.get()), Bytes(two.get()));
}

// ---------------------------------------------------------------- cropping

TEST_F(GeometryTest, CropCopiesTheRectangle) {
  for (uint32_t format : {ARGB32, RGB24, GREY8, ALPHA8, RGB565, ARGB4444}) {
    TexturePtr tex = WrapTexture(RandomImage(9, 7, format, 3));
    for (auto r : {CropRect{0, 0, 9, 7}, CropRect{2, 3, 4, 2}, CropRect{8, 6, 1, 1}, CropRect{0, 6, 9, 1}}) {
      TexturePtr out(CropRegion(tex.get(), r.left, r.top, r.width, r.height));
      ASSERT_TRUE(out) << "format " << format;
      ASSERT_EQ(out->chunky->width, r.width);
      ASSERT_EQ(out->chunky->height, r.height);
      ASSERT_EQ(out->chunky->format, format);
      for (int j = 0; j < r.height; ++j)
        for (int i = 0; i < r.width; ++i)
          ASSERT_TRUE(SamePixel(out->chunky, i, j, tex->chunky, r.left + i, r.top + j)) << "format " << format;
    }
  }
}

TEST_F(GeometryTest, CropRefusesRectanglesOutsideTheImage) {
  TexturePtr tex = WrapTexture(RandomImage(9, 7, ARGB32, 3));
  const CropRect bad[] = {{-1, 0, 2, 2},        {0, -1, 2, 2}, {8, 0, 2, 1},          {0, 6, 1, 2},
                          {0, 0, 0, 5},         {0, 0, 5, 0},  {0, 0, -3, 2},         {0, 0, 10, 7},
                          {0, 0, 9, 8},         {9, 0, 1, 1},  {2147483647, 0, 1, 1}, {1, 1, 2147483647, 1},
                          {0, 5, 1, 2147483647}};
  for (const CropRect& r : bad)
    EXPECT_EQ(CropRegion(tex.get(), r.left, r.top, r.width, r.height), nullptr)
        << r.left << "," << r.top << " " << r.width << "x" << r.height;
  EXPECT_EQ(CropRegion(nullptr, 0, 0, 1, 1), nullptr);
  Texture bare;  // no pixel buffer
  EXPECT_EQ(CropRegion(&bare, 0, 0, 1, 1), nullptr);
  // Formats the accessors cannot carry would give undefined pixels.
  for (uint32_t format : {RGBA32, BYTE8, ARGB1555, WORD16}) {
    TexturePtr other = WrapTexture(RandomImage(4, 4, format, 1));
    EXPECT_EQ(CropRegion(other.get(), 0, 0, 2, 2), nullptr) << "format " << format;
  }
}

// ---------------------------------------------------------------- FindCropBorders

TEST_F(GeometryTest, CropBordersOfImagesWithoutAndWithOnlyBorder) {
  ChunkyPtr random(RandomImage(12, 8, ARGB32, 5));
  CropRect r = FindCropBorders(random.get(), 0);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.width, 12);
  EXPECT_EQ(r.height, 8);

  ChunkyPtr uniform(chk_Create(12, 8, ARGB32, false));
  Fill(uniform.get(), 10, 20, 30, 255);
  r = FindCropBorders(uniform.get(), 0);
  EXPECT_EQ(r.left, 11);
  EXPECT_EQ(r.top, 7);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);

  ChunkyPtr single(RandomImage(1, 1, ARGB32, 5));
  r = FindCropBorders(single.get(), 0);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);
}

TEST_F(GeometryTest, CropBordersOfAFramedPhotograph) {
  // A 10-pixel white frame around a 23 x 17 photograph.
  const int pw = 23, ph = 17, w = pw + 20, h = ph + 20;
  ChunkyPtr img(chk_Create(w, h, ARGB32, false));
  Fill(img.get(), 255, 255, 255, 255);
  ChunkyPtr photo(RandomImage(pw, ph, ARGB32, 6));
  for (int y = 0; y < ph; ++y) std::memcpy(img->pixels + ((y + 10) * w + 10) * 4, photo->pixels + y * pw * 4, pw * 4);
  CropRect r = FindCropBorders(img.get(), 0);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.width, pw);
  EXPECT_EQ(r.height, ph);

  // An uneven frame: 3 left, 5 right, 2 top, 7 bottom.
  ChunkyPtr uneven(chk_Create(30, 20, ARGB32, false));
  Fill(uneven.get(), 0, 0, 0, 0);
  for (int y = 2; y < 20 - 7; ++y)
    for (int x = 3; x < 30 - 5; ++x) PutARGB(uneven.get(), x, y, 255, 1, 1, 1);
  r = FindCropBorders(uneven.get(), 0);
  EXPECT_EQ(r.left, 3);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.width, 22);
  EXPECT_EQ(r.height, 11);
}

TEST_F(GeometryTest, CropBordersToleranceIsInclusive) {
  // The frame differs from the reference by 3 in red and 4 in blue: a distance of 5.
  ChunkyPtr img(chk_Create(10, 10, ARGB32, false));
  Fill(img.get(), 200, 100, 50, 255);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (x >= 1 && (x < 2 || y < 3 || x > 7)) PutARGB(img.get(), x, y, 255, 203, 100, 54);
  for (int y = 4; y < 7; ++y)
    for (int x = 3; x < 6; ++x) PutARGB(img.get(), x, y, 255, 0, 0, 0);
  CropRect within = FindCropBorders(img.get(), 5);
  EXPECT_EQ(within.left, 3);
  EXPECT_EQ(within.top, 4);
  EXPECT_EQ(within.width, 3);
  EXPECT_EQ(within.height, 3);
  CropRect beyond = FindCropBorders(img.get(), 4);
  EXPECT_EQ(beyond.left, 1);
  EXPECT_EQ(beyond.top, 0);  // row 0 holds frame pixels at x = 1 and x > 7
  EXPECT_EQ(beyond.width, 9);
  EXPECT_EQ(beyond.height, 10);
  // Alpha counts as a channel, and a huge tolerance stays defined.
  ChunkyPtr alpha(chk_Create(4, 4, ARGB32, false));
  Fill(alpha.get(), 9, 9, 9, 255);
  PutARGB(alpha.get(), 2, 2, 0, 9, 9, 9);
  CropRect a = FindCropBorders(alpha.get(), 254);
  EXPECT_EQ(a.left, 2);
  EXPECT_EQ(a.width, 1);
  CropRect all = FindCropBorders(alpha.get(), 2147483647);
  EXPECT_EQ(all.left, 3);
  EXPECT_EQ(all.width, 1);
}

TEST_F(GeometryTest, CropBordersInOtherFormats) {
  ChunkyPtr grey(chk_Create(6, 5, GREY8, true));
  grey->pixels[2 * 6 + 4] = 1;
  CropRect r = FindCropBorders(grey.get(), 0);
  EXPECT_EQ(r.left, 4);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);
  ChunkyPtr bytes(RandomImage(6, 5, BYTE8, 2));  // unreadable: nothing to crop
  r = FindCropBorders(bytes.get(), 0);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.width, 6);
  EXPECT_EQ(r.height, 5);
  r = FindCropBorders(nullptr, 0);
  EXPECT_EQ(r.width, 0);
}

// ---------------------------------------------------------------- Straighten

// The sampling rule for integer positions: column x - 1 (the 65535 factor) with u = 65536 - x.
std::vector<uint8_t> StraightenZeroReference(const ChunkyImage* src) {
  const int w = src->width, h = src->height;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4, 0);
  for (int y = 0; y < h - 1; ++y) {
    for (int x = 0; x < w - 1; ++x) {
      const int64_t fx = int64_t{x} * 65535, fy = int64_t{y} * 65535;
      const int col = static_cast<int>(fx >> 16), row = static_cast<int>(fy >> 16);
      const uint32_t u = fx & 0xFFFF, v = fy & 0xFFFF;
      const uint32_t w00 = ((65535 - u) * (65535 - v)) >> 24, w01 = (u * (65535 - v)) >> 24;
      const uint32_t w10 = ((65535 - u) * v) >> 24, w11 = 256 - w00 - w01 - w10;
      for (int c = 0; c < 4; ++c) {
        const uint32_t sum = PixelPtr(src, col, row)[c] * w00 + PixelPtr(src, col + 1, row)[c] * w01 +
                             PixelPtr(src, col, row + 1)[c] * w10 + PixelPtr(src, col + 1, row + 1)[c] * w11;
        out[(static_cast<size_t>(y) * w + x) * 4 + c] = static_cast<uint8_t>(sum >> 8);
      }
    }
  }
  return out;
}

TEST_F(GeometryTest, StraightenByZeroDegrees) {
  for (auto [w, h] : {std::pair{9, 6}, std::pair{2, 2}, std::pair{40, 3}}) {
    ChunkyPtr src(RandomImage(w, h, ARGB32, 12));
    ChunkyPtr dst(RandomImage(w, h, ARGB32, 13));
    Straighten(src.get(), dst.get(), 0.0f, false);
    EXPECT_EQ(Bytes(dst.get()), StraightenZeroReference(src.get())) << w << "x" << h;
    // The last column and row are transparent black.
    for (int y = 0; y < h; ++y) EXPECT_EQ(*reinterpret_cast<const uint32_t*>(PixelPtr(dst.get(), w - 1, y)), 0u);
    for (int x = 0; x < w; ++x) EXPECT_EQ(*reinterpret_cast<const uint32_t*>(PixelPtr(dst.get(), x, h - 1)), 0u);
  }
  // Pixel (0, 0) is (255 p00 + p11) >> 8: w00 = 65535 * 65535 >> 24 = 255 leaves 1 for w11.
  ChunkyPtr src(chk_Create(3, 3, ARGB32, true));
  PutARGB(src.get(), 0, 0, 255, 255, 255, 255);
  PutARGB(src.get(), 1, 1, 255, 255, 0, 0);
  ChunkyPtr dst(chk_Create(3, 3, ARGB32, false));
  Straighten(src.get(), dst.get(), 0.0f, false);
  const uint8_t expect00[] = {255, 255, 254, 254};
  EXPECT_EQ(std::memcmp(PixelPtr(dst.get(), 0, 0), expect00, 4), 0);
  const uint8_t expect11[] = {255, 255, 0, 0};  // u = v = 65535 on (0, 0): all 256 on pixel (1, 1)
  EXPECT_EQ(std::memcmp(PixelPtr(dst.get(), 1, 1), expect11, 4), 0);
}

TEST_F(GeometryTest, StraightenRotatesAboutTheCentre) {
  // A ramp: R = 3x, G = 3y, so a sample's colour tells where it was taken.
  const int w = 80, h = 60;
  ChunkyPtr src(chk_Create(w, h, ARGB32, false));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      PutARGB(src.get(), x, y, 255, static_cast<uint8_t>(3 * x), static_cast<uint8_t>(3 * y), 0);
  ChunkyPtr dst(chk_Create(w, h, ARGB32, false));
  for (float angle : {7.5f, -12.0f, 20.0f}) {
    Straighten(src.get(), dst.get(), angle, false);
    const double r = angle * std::numbers::pi / 180.0, c = std::cos(r), s = std::sin(r);
    int inside = 0, outside = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const double sx = (x - w / 2.0) * c + (y - h / 2.0) * s + w / 2.0;
        const double sy = (y - h / 2.0) * c - (x - w / 2.0) * s + h / 2.0;
        const uint8_t* p = PixelPtr(dst.get(), x, y);
        const double margin = 0.01;
        if (sx > margin && sx < w - 1 - margin && sy > margin && sy < h - 1 - margin) {
          ++inside;
          ASSERT_EQ(p[0], 255);
          ASSERT_NEAR(p[1], 3 * sx, 2.0) << angle << " at " << x << "," << y;
          ASSERT_NEAR(p[2], 3 * sy, 2.0) << angle << " at " << x << "," << y;
        } else if (sx < -margin || sx > w - 1 + margin || sy < -margin || sy > h - 1 + margin) {
          ++outside;
          ASSERT_EQ(*reinterpret_cast<const uint32_t*>(p), 0u) << angle << " at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(inside, w * h / 2);
    EXPECT_GT(outside, 0);
  }
}

TEST_F(GeometryTest, StraightenScaleToFitLeavesNoTransparentCorners) {
  const int sizes[][2] = {{1, 1}, {2, 2}, {1, 5}, {5, 1}, {3, 7}, {64, 48}, {200, 20}, {20, 200}, {2, 300}};
  for (auto& s : sizes) {
    ChunkyPtr src(RandomImage(s[0], s[1], ARGB32, 77));
    for (size_t i = 0; i < BufferBytes(s[0], s[1], ARGB32); i += 4) src->pixels[i] = 255;
    ChunkyPtr dst(chk_Create(s[0], s[1], ARGB32, false));
    for (float angle = -20.0f; angle <= 20.0f; angle += 2.5f) {
      Straighten(src.get(), dst.get(), angle, true);
      for (size_t i = 0; i < BufferBytes(s[0], s[1], ARGB32); i += 4)
        ASSERT_EQ(dst->pixels[i], 255) << s[0] << "x" << s[1] << " angle " << angle << " pixel " << i / 4;
    }
  }
}

TEST_F(GeometryTest, StraightenScaleToFitSamplesOnlyThePicture) {
  // A uniform picture stays uniform, since the weights always sum to 256, as long as every
  // tap reads a pixel of the picture, also for narrow pictures whose positions reach the edge.
  const int sizes[][2] = {{1, 1}, {2, 2}, {1, 5}, {5, 1}, {3, 7}, {31, 17}, {200, 20}, {20, 200}, {2, 300}};
  for (auto& s : sizes) {
    ChunkyPtr flat(chk_Create(s[0], s[1], ARGB32, false));
    Fill(flat.get(), 12, 34, 56, 255);
    ChunkyPtr out(chk_Create(s[0], s[1], ARGB32, false));
    for (float angle = -20.0f; angle <= 20.0f; angle += 2.5f) {
      Straighten(flat.get(), out.get(), angle, true);
      ASSERT_EQ(Bytes(out.get()), Bytes(flat.get())) << s[0] << "x" << s[1] << " angle " << angle;
    }
  }
}

TEST_F(GeometryTest, StraightenScaleToFitShrinksThePicture) {
  // At 0 degrees the scale is (h / (h + 1)) * w / (w + 1): the picture is pulled toward the
  // centre, so the ramp's corners come from inside the source.
  const int w = 50, h = 40;
  ChunkyPtr src(chk_Create(w, h, ARGB32, false));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      PutARGB(src.get(), x, y, 255, static_cast<uint8_t>(5 * x), static_cast<uint8_t>(6 * y), 0);
  ChunkyPtr dst(chk_Create(w, h, ARGB32, false));
  Straighten(src.get(), dst.get(), 0.0f, true);
  const double scale = (static_cast<double>(h) / (h + 1)) * w / (w + 1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double sx = (x - w / 2.0) * scale + w / 2.0, sy = (y - h / 2.0) * scale + h / 2.0;
      ASSERT_NEAR(PixelPtr(dst.get(), x, y)[1], 5 * sx, 3.0) << x << "," << y;
      ASSERT_NEAR(PixelPtr(dst.get(), x, y)[2], 6 * sy, 3.0) << x << "," << y;
    }
  }
}

TEST_F(GeometryTest, StraightenIgnoresMismatchedBuffersAndOddAngles) {
  ChunkyPtr src(RandomImage(8, 6, ARGB32, 1));
  ChunkyPtr other(RandomImage(8, 5, ARGB32, 2));
  std::vector<uint8_t> before = Bytes(other.get());
  Straighten(src.get(), other.get(), 3.0f, false);
  EXPECT_EQ(Bytes(other.get()), before);
  ChunkyPtr grey(RandomImage(8, 6, GREY8, 2));
  ChunkyPtr greyOut(RandomImage(8, 6, GREY8, 3));
  before = Bytes(greyOut.get());
  Straighten(grey.get(), greyOut.get(), 3.0f, false);
  EXPECT_EQ(Bytes(greyOut.get()), before);
  Straighten(nullptr, other.get(), 3.0f, true);
  Straighten(src.get(), nullptr, 3.0f, true);
  // Not-a-number and huge angles stay defined.
  ChunkyPtr dst(chk_Create(8, 6, ARGB32, false));
  Straighten(src.get(), dst.get(), std::nanf(""), false);
  for (uint8_t v : Bytes(dst.get())) ASSERT_EQ(v, 0);
  Straighten(src.get(), dst.get(), std::nanf(""), true);
  Straighten(src.get(), dst.get(), 1e30f, true);
  Straighten(src.get(), dst.get(), 1e30f, false);
}

}  // namespace
}  // namespace vl::image
