#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "image/chunky.h"
#include "image/resample.h"
#include "test_support.h"

namespace vl::image {
namespace {

using test::PoolTest;
using test::RandomImage;

constexpr double kPi = std::numbers::pi;

ChunkyPtr MakeImage(int w, int h, uint32_t format, const std::vector<uint8_t>& bytes) {
  ChunkyPtr c(chk_Create(w, h, format, false));
  EXPECT_TRUE(c);
  EXPECT_EQ(bytes.size(), BufferBytes(w, h, format));
  if (c) std::memcpy(c->pixels, bytes.data(), bytes.size());
  return c;
}

std::vector<uint8_t> Bytes(const ChunkyImage* c) {
  return std::vector<uint8_t>(c->pixels, c->pixels + BufferBytes(c->width, c->height, c->format));
}

ChunkyPtr Uniform(int w, int h, uint32_t format, uint8_t value) {
  ChunkyPtr c(chk_Create(w, h, format, false));
  std::memset(c->pixels, value, BufferBytes(w, h, format));
  return c;
}

// One channel of a 4-byte image as a GREY8 image.
ChunkyPtr Plane(const ChunkyImage* c, int channel) {
  ChunkyPtr p(chk_Create(c->width, c->height, GREY8, false));
  for (size_t i = 0; i < static_cast<size_t>(c->width) * c->height; ++i) p->pixels[i] = c->pixels[i * 4 + channel];
  return p;
}

// ---------------------------------------------------------------- kernels

TEST(ResampleKernels, ValuesFollowTheirFormulas) {
  EXPECT_EQ(BoxKernel(0.0), 1.0);
  EXPECT_EQ(BoxKernel(0.5), 1.0);
  EXPECT_EQ(BoxKernel(-0.5), 0.0);
  EXPECT_EQ(BoxKernel(-0.49), 1.0);
  EXPECT_EQ(BoxKernel(0.51), 0.0);

  EXPECT_DOUBLE_EQ(TriangleKernel(0.25), 0.75);
  EXPECT_DOUBLE_EQ(TriangleKernel(-0.75), 0.25);
  EXPECT_EQ(TriangleKernel(1.0), 0.0);

  EXPECT_DOUBLE_EQ(BellKernel(0.25), 0.6875);
  EXPECT_DOUBLE_EQ(BellKernel(1.0), 0.125);
  EXPECT_DOUBLE_EQ(BellKernel(-1.25), 0.03125);
  EXPECT_EQ(BellKernel(1.5), 0.0);

  EXPECT_DOUBLE_EQ(BSplineKernel(0.0), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(BSplineKernel(0.5), 0.0625 - 0.25 + 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(BSplineKernel(1.0), 1.0 / 6.0);
  EXPECT_DOUBLE_EQ(BSplineKernel(-1.5), 0.125 / 6.0);
  EXPECT_EQ(BSplineKernel(2.0), 0.0);

  EXPECT_DOUBLE_EQ(HermiteKernel(0.0), 1.0);
  EXPECT_DOUBLE_EQ(HermiteKernel(0.5), 0.5);
  EXPECT_DOUBLE_EQ(HermiteKernel(-0.25), 0.84375);
  EXPECT_EQ(HermiteKernel(1.0), 0.0);

  EXPECT_EQ(LanczosKernel(0.0), 1.0);
  EXPECT_NEAR(LanczosKernel(1.0), 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(LanczosKernel(0.5), 6.0 / (kPi * kPi));
  EXPECT_DOUBLE_EQ(LanczosKernel(-1.5), -4.0 / (3.0 * kPi * kPi));
  EXPECT_DOUBLE_EQ(LanczosKernel(2.5), 0.24 / (kPi * kPi));
  EXPECT_EQ(LanczosKernel(3.0), 0.0);
  EXPECT_EQ(LanczosKernel(-7.0), 0.0);

  EXPECT_DOUBLE_EQ(MitchellKernel(0.0), 8.0 / 9.0);
  EXPECT_NEAR(MitchellKernel(1.0), 1.0 / 18.0, 1e-12);
  EXPECT_DOUBLE_EQ(MitchellKernel(-1.5), (-7.0 / 3.0 * 3.375 + 27.0 - 30.0 + 32.0 / 3.0) / 6.0);
  EXPECT_EQ(MitchellKernel(2.0), 0.0);
}

TEST(ResampleKernels, SymmetricAndZeroBeyondSupport) {
  for (int m = 0; m < kMethodCount; ++m) {
    const MethodInfo* info = GetMethodInfo(m);
    ASSERT_NE(info, nullptr);
    for (double t = 0.05; t < info->support + 1.0; t += 0.1) {
      if (m != kMethodBox) {
        EXPECT_EQ(info->kernel(t), info->kernel(-t)) << info->label << " t=" << t;
      }
      if (t >= info->support) {
        EXPECT_EQ(info->kernel(t), 0.0) << info->label << " t=" << t;
      }
    }
  }
}

TEST(ResampleKernels, MethodTableAndTheBilinearLabel) {
  const char* labels[] = {"Box", "Triangle", "Bell", "B-Spline", "Bilinear", "Lanczos", "Mitchell"};
  const char* names[] = {"box", "triangle", "bell", "spline", nullptr, "lanczos", "mitchell"};
  const double supports[] = {0.5, 1.0, 1.5, 2.0, 1.0, 3.0, 2.0};
  for (int m = 0; m < kMethodCount; ++m) {
    const MethodInfo* info = GetMethodInfo(m);
    EXPECT_STREQ(info->label, labels[m]);
    if (names[m])
      EXPECT_STREQ(info->scriptName, names[m]);
    else
      EXPECT_EQ(info->scriptName, nullptr);
    EXPECT_EQ(info->support, supports[m]);
  }
  EXPECT_EQ(GetMethodInfo(-1), nullptr);
  EXPECT_EQ(GetMethodInfo(kMethodCount), nullptr);
  // "Bilinear" is the Hermite curve, not the triangle.
  EXPECT_EQ(GetMethodInfo(kMethodBilinear)->kernel, &HermiteKernel);
  EXPECT_DOUBLE_EQ(GetMethodInfo(kMethodBilinear)->kernel(0.25), 0.84375);
  EXPECT_NE(GetMethodInfo(kMethodBilinear)->kernel(0.25), TriangleKernel(0.25));
}

// ---------------------------------------------------------------- contribution lists

class ResampleContributions : public PoolTest {};

void ExpectList(const ContributionTable& t, int i, const std::vector<Contribution>& expected) {
  ASSERT_EQ(t.count(i), static_cast<int32_t>(expected.size())) << "list " << i;
  for (size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(t.list(i)[k].pixel, expected[k].pixel) << "list " << i << " pair " << k;
    EXPECT_EQ(t.list(i)[k].weight, expected[k].weight) << "list " << i << " pair " << k;
  }
}

TEST_F(ResampleContributions, EveryListSumsToOneWithIndicesInside) {
  const int sizes[] = {1, 2, 3, 7, 64, 301};
  for (int m = 0; m < kMethodCount; ++m) {
    const MethodInfo* info = GetMethodInfo(m);
    for (int src : sizes) {
      for (int dst : sizes) {
        ContributionTable t;
        ASSERT_TRUE(t.Build(dst, src, info->kernel, info->support));
        ASSERT_EQ(t.size(), dst);
        for (int i = 0; i < dst; ++i) {
          int64_t sum = 0;
          ASSERT_GT(t.count(i), 0);
          for (int k = 0; k < t.count(i); ++k) {
            sum += t.list(i)[k].weight;
            EXPECT_GE(t.list(i)[k].pixel, 0);
            EXPECT_LT(t.list(i)[k].pixel, src);
          }
          EXPECT_EQ(sum, kWeightOne) << info->label << " " << src << "->" << dst << " list " << i;
        }
      }
    }
  }
}

TEST_F(ResampleContributions, TriangleEnlargementOfTwoPixels) {
  ContributionTable t;
  ASSERT_TRUE(t.Build(4, 2, TriangleKernel, 1.0));
  ExpectList(t, 0, {{1, 0}, {0, kWeightOne}, {1, 0}});  // center 0, j = -1 mirrors to 1
  ExpectList(t, 1, {{0, 524288}, {1, 524288}});         // center 0.5
  ExpectList(t, 2, {{0, 0}, {1, kWeightOne}, {1, 0}});  // center 1, j = 2 mirrors to 1
  ExpectList(t, 3, {{1, 524288}, {1, 524288}});         // center 1.5
}

TEST_F(ResampleContributions, ReductionStretchesAndScalesTheKernel) {
  // Triangle, 10 -> 4: s = 2.5; list 1 has center 2.5 and j from 0 to 5 with weights
  // f((2.5 - j) / 2.5) / 2.5 = 0, 0.16, 0.32, 0.32, 0.16, 0 (sum 0.96). The remainder
  // 1048576 - 1006632 goes to the first of the two largest weights.
  ContributionTable t;
  ASSERT_TRUE(t.Build(4, 10, TriangleKernel, 1.0));
  ExpectList(t, 1, {{0, 0}, {1, 167772}, {2, 335544 + 41944}, {3, 335544}, {4, 167772}, {5, 0}});
  // Box, 4 -> 2: center 0 takes pixels 1 (j = -1) and 0 with half weight each.
  ContributionTable box;
  ASSERT_TRUE(box.Build(2, 4, BoxKernel, 0.5));
  ExpectList(box, 0, {{1, 524288}, {0, 524288}, {1, 0}});
  ExpectList(box, 1, {{1, 524288}, {2, 524288}, {3, 0}});
}

TEST_F(ResampleContributions, MirroredAndClampedIndices) {
  ContributionTable wide;
  ASSERT_TRUE(wide.Build(8, 4, LanczosKernel, 3.0));
  ASSERT_EQ(wide.count(0), 7);
  const int32_t expectWide[] = {3, 2, 1, 0, 1, 2, 3};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(wide.list(0)[k].pixel, expectWide[k]);
  // The last list (center 3.5) reaches j = 4..6, mirrored to 3, 2, 1.
  const ContributionTable& w = wide;
  const Contribution* last = w.list(7);
  ASSERT_EQ(w.count(7), 6);
  const int32_t expectLast[] = {1, 2, 3, 3, 2, 1};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(last[k].pixel, expectLast[k]);

  // A two-pixel source: mirrors that still fall outside are held at the nearest edge.
  ContributionTable narrow;
  ASSERT_TRUE(narrow.Build(4, 2, LanczosKernel, 3.0));
  const int32_t expectNarrow[] = {1, 1, 1, 0, 1, 1, 0};
  ASSERT_EQ(narrow.count(0), 7);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(narrow.list(0)[k].pixel, expectNarrow[k]);

  ContributionTable single;
  ASSERT_TRUE(single.Build(5, 1, MitchellKernel, 2.0));
  for (int i = 0; i < 5; ++i)
    for (int k = 0; k < single.count(i); ++k) EXPECT_EQ(single.list(i)[k].pixel, 0);
}

TEST_F(ResampleContributions, TruncatedWeightsAndTheUnsignedGreatestGetsTheRemainder) {
  // Lanczos 3 -> 7 has negative weights in every list that is not centred on a pixel.
  const int src = 3, dst = 7;
  ContributionTable t;
  ASSERT_TRUE(t.Build(dst, src, LanczosKernel, 3.0));
  const double scale = static_cast<double>(dst) / src;
  bool sawNegativeTarget = false;
  for (int i = 0; i < dst; ++i) {
    const double center = i / scale;
    const int left = static_cast<int>(std::ceil(center - 3.0));
    std::vector<int32_t> raw;
    for (int j = left; j <= static_cast<int>(std::floor(center + 3.0)); ++j)
      raw.push_back(static_cast<int32_t>(std::trunc(LanczosKernel(center - j) * 1048576.0)));
    ASSERT_EQ(t.count(i), static_cast<int32_t>(raw.size()));
    int64_t sum = 0;
    size_t best = 0;
    for (size_t k = 0; k < raw.size(); ++k) {
      sum += raw[k];
      if (static_cast<uint32_t>(raw[k]) > static_cast<uint32_t>(raw[best])) best = k;
    }
    for (size_t k = 0; k < raw.size(); ++k) {
      const int32_t want = k == best ? static_cast<int32_t>(raw[k] + (kWeightOne - sum)) : raw[k];
      EXPECT_EQ(t.list(i)[k].weight, want) << "list " << i << " pair " << k;
    }
    if (sum != kWeightOne && raw[best] < 0) sawNegativeTarget = true;
  }
  EXPECT_TRUE(sawNegativeTarget) << "no list exercised a negative weight taking the remainder";
}

TEST_F(ResampleContributions, RefusesUnusableInput) {
  ContributionTable t;
  EXPECT_FALSE(t.Build(0, 4, BoxKernel, 0.5));
  EXPECT_FALSE(t.Build(4, 0, BoxKernel, 0.5));
  EXPECT_FALSE(t.Build(4, -3, BoxKernel, 0.5));
  EXPECT_FALSE(t.Build(4, 4, nullptr, 0.5));
  EXPECT_FALSE(t.Build(4, 4, BoxKernel, 0.0));
  EXPECT_FALSE(t.Build(4, 4, BoxKernel, std::nan("")));
  EXPECT_FALSE(t.Build(4, 4, BoxKernel, INFINITY));
  // A reach beyond any buffer the pool hands out.
  EXPECT_FALSE(t.Build(1, 1 << 30, LanczosKernel, 3.0));
  EXPECT_EQ(t.size(), 0);
}

TEST(ResampleArithmetic, DivisionTruncatesTowardZeroThenClamps) {
  EXPECT_EQ(WeightedSumToValue(-1048577), -1);
  EXPECT_EQ(ClampChannel(WeightedSumToValue(-1048577)), 0);
  EXPECT_EQ(WeightedSumToValue(-1048575), 0);
  EXPECT_EQ(WeightedSumToValue(1048575), 0);
  EXPECT_EQ(WeightedSumToValue(255 * 1048576 + 1048575), 255);
  EXPECT_EQ(WeightedSumToValue(256 * 1048576), 256);
  EXPECT_EQ(ClampChannel(256), 255);
  EXPECT_EQ(ClampChannel(255), 255);
  EXPECT_EQ(ClampChannel(-300), 0);
}

// ---------------------------------------------------------------- Resample / ScaleImage

class ResampleTest : public PoolTest {};

TEST_F(ResampleTest, SameSizeBoxAndLanczosReproduceTheImage) {
  const int sizes[][2] = {{1, 1}, {1, 7}, {13, 1}, {2, 2}, {17, 9}};
  for (uint32_t format : {ARGB32, GREY8, RGBA32}) {
    for (auto& s : sizes) {
      ChunkyPtr src(RandomImage(s[0], s[1], format, 11));
      for (int method : {kMethodBox, kMethodLanczos}) {
        ChunkyPtr out(ScaleImage(src.get(), s[0], s[1], method));
        ASSERT_TRUE(out);
        EXPECT_EQ(Bytes(out.get()), Bytes(src.get())) << "method " << method << " " << s[0] << "x" << s[1];
      }
    }
  }
}

TEST_F(ResampleTest, LanczosKeepsAOnePixelLine) {
  // A one-pixel white line on black: at the same size every weight but the centre one
  // truncates to 0 (not -1), so the line comes back unchanged.
  std::vector<uint8_t> row(9, 0);
  row[4] = 255;
  ChunkyPtr src = MakeImage(9, 1, GREY8, row);
  ChunkyPtr out(ScaleImage(src.get(), 9, 1, kMethodLanczos));
  ASSERT_TRUE(out);
  EXPECT_EQ(Bytes(out.get()), row);
  // A one-pixel-wide source widened: every list reads the one pixel with total weight 1.0.
  ChunkyPtr column = MakeImage(1, 3, GREY8, {7, 200, 255});
  ChunkyPtr wide(ScaleImage(column.get(), 6, 3, kMethodLanczos));
  ASSERT_TRUE(wide);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(wide->pixels[y * 6 + x], column->pixels[y]) << x << "," << y;
}

TEST_F(ResampleTest, UniformImagesStayUniformUnderEveryKernel) {
  const int sizes[][4] = {{1, 1, 5, 3}, {2, 1, 1, 4}, {7, 5, 3, 2}, {3, 8, 16, 17}, {40, 30, 9, 61}};
  for (int m = 0; m < kMethodCount; ++m) {
    for (auto& s : sizes) {
      ChunkyPtr grey = Uniform(s[0], s[1], GREY8, 201);
      ChunkyPtr out(ScaleImage(grey.get(), s[2], s[3], m));
      ASSERT_TRUE(out);
      for (uint8_t v : Bytes(out.get())) ASSERT_EQ(v, 201) << GetMethodInfo(m)->label;
      ChunkyPtr argb = Uniform(s[0], s[1], ARGB32, 255);
      ChunkyPtr out4(ScaleImage(argb.get(), s[2], s[3], m));
      ASSERT_TRUE(out4);
      for (uint8_t v : Bytes(out4.get())) ASSERT_EQ(v, 255) << GetMethodInfo(m)->label;
    }
  }
}

TEST_F(ResampleTest, HandComputedResults) {
  // Triangle enlargement of (a, b) to four pixels: (a, (a + b) / 2 truncated, b, b).
  ChunkyPtr pair = MakeImage(2, 1, GREY8, {10, 201});
  ChunkyPtr four(ScaleImage(pair.get(), 4, 1, kMethodTriangle));
  ASSERT_TRUE(four);
  EXPECT_EQ(Bytes(four.get()), (std::vector<uint8_t>{10, 105, 201, 201}));
  // The same on every byte of an ARGB32 pixel, alpha included.
  ChunkyPtr pair4 = MakeImage(2, 1, ARGB32, {0, 10, 255, 3, 255, 201, 0, 4});
  ChunkyPtr four4(ScaleImage(pair4.get(), 4, 1, kMethodTriangle));
  ASSERT_TRUE(four4);
  EXPECT_EQ(Bytes(four4.get()),
            (std::vector<uint8_t>{0, 10, 255, 3, 127, 105, 127, 3, 255, 201, 0, 4, 255, 201, 0, 4}));
  // Box reduction of (a, b, c, d) to two pixels: ((a + b) / 2, (b + c) / 2), truncated.
  ChunkyPtr quad = MakeImage(1, 4, GREY8, {1, 4, 9, 200});
  ChunkyPtr half(ScaleImage(quad.get(), 1, 2, kMethodBox));
  ASSERT_TRUE(half);
  EXPECT_EQ(Bytes(half.get()), (std::vector<uint8_t>{2, 6}));
}

TEST_F(ResampleTest, OvershootAtAnEdgeIsClipped) {
  for (int method : {kMethodLanczos, kMethodMitchell}) {
    std::vector<uint8_t> row(8, 0);
    for (int x = 4; x < 8; ++x) row[x] = 255;
    ChunkyPtr src = MakeImage(8, 1, GREY8, row);
    ChunkyPtr out(ScaleImage(src.get(), 29, 1, method));
    ASSERT_TRUE(out);
    // The unclipped sums do leave 0..255 on both sides of the edge.
    ContributionTable t;
    ASSERT_TRUE(t.Build(29, 8, GetMethodInfo(method)->kernel, GetMethodInfo(method)->support));
    bool over = false, under = false;
    for (int i = 0; i < 29; ++i) {
      int64_t sum = 0;
      for (int k = 0; k < t.count(i); ++k) sum += int64_t{row[t.list(i)[k].pixel]} * t.list(i)[k].weight;
      over |= sum / kWeightOne > 255;
      under |= sum / kWeightOne < 0;
    }
    EXPECT_TRUE(over);
    EXPECT_TRUE(under);
    // Clipped, not wrapped: the dark side stays dark and the bright side bright.
    int zeros = 0, fulls = 0;
    for (int i = 0; i < 29; ++i) {
      const double center = i * 8.0 / 29.0;
      if (center < 3.0) {
        EXPECT_LE(out->pixels[i], 40) << i;
      }
      if (center > 4.0) {
        EXPECT_GE(out->pixels[i], 215) << i;
      }
      zeros += out->pixels[i] == 0;
      fulls += out->pixels[i] == 255;
    }
    EXPECT_GT(zeros, 0);
    EXPECT_GT(fulls, 0);
  }
}

TEST_F(ResampleTest, FourByteChannelsAreFilteredLikeSeparatePlanes) {
  const int sizes[][4] = {{1, 1, 3, 2}, {2, 2, 1, 1}, {2, 1, 5, 5}, {9, 7, 4, 13}, {31, 17, 64, 5}};
  for (int m = 0; m < kMethodCount; ++m) {
    for (auto& s : sizes) {
      ChunkyPtr src(RandomImage(s[0], s[1], ARGB32, 100 + m));
      ChunkyPtr out(ScaleImage(src.get(), s[2], s[3], m));
      ASSERT_TRUE(out);
      EXPECT_EQ(out->width, s[2]);
      EXPECT_EQ(out->height, s[3]);
      EXPECT_EQ(out->format, ARGB32);
      for (int c = 0; c < 4; ++c) {
        ChunkyPtr plane = Plane(src.get(), c);
        ChunkyPtr planeOut(ScaleImage(plane.get(), s[2], s[3], m));
        ASSERT_TRUE(planeOut);
        ChunkyPtr got = Plane(out.get(), c);
        EXPECT_EQ(Bytes(got.get()), Bytes(planeOut.get())) << GetMethodInfo(m)->label << " channel " << c;
      }
    }
  }
}

TEST_F(ResampleTest, RandomImagesThroughEveryMethodAndFormat) {
  const int sizes[][4] = {{1, 1, 1, 1}, {1, 2, 2, 1}, {2, 1, 1, 2}, {1, 1, 40, 3}, {50, 2, 1, 1}, {2, 50, 7, 3}};
  for (uint32_t format : {ARGB32, RGBA32, GREY8, ALPHA8, BYTE8}) {
    for (int m = 0; m < kMethodCount; ++m) {
      for (auto& s : sizes) {
        ChunkyPtr src(RandomImage(s[0], s[1], format, 7));
        const std::vector<uint8_t> before = Bytes(src.get());
        ChunkyPtr out(ScaleImage(src.get(), s[2], s[3], m));
        ASSERT_TRUE(out);
        EXPECT_EQ(out->format, format);
        EXPECT_EQ(Bytes(src.get()), before);
      }
    }
  }
}

TEST_F(ResampleTest, ScaleImageRefusals) {
  ChunkyPtr rgb(RandomImage(4, 4, RGB24, 1));
  EXPECT_EQ(ScaleImage(rgb.get(), 2, 2, kMethodBox), nullptr);
  ChunkyPtr rgb565(RandomImage(4, 4, RGB565, 1));
  EXPECT_EQ(ScaleImage(rgb565.get(), 2, 2, kMethodLanczos), nullptr);
  ChunkyPtr argb(RandomImage(4, 4, ARGB32, 1));
  EXPECT_EQ(ScaleImage(argb.get(), 2, 2, -1), nullptr);
  EXPECT_EQ(ScaleImage(argb.get(), 2, 2, 7), nullptr);
  EXPECT_EQ(ScaleImage(argb.get(), 0, 2, kMethodBox), nullptr);
  EXPECT_EQ(ScaleImage(argb.get(), 2, -5, kMethodBox), nullptr);
  EXPECT_EQ(ScaleImage(argb.get(), 1 << 15, 1 << 15, kMethodBox), nullptr);  // beyond the pixel limit
  EXPECT_EQ(ScaleImage(nullptr, 2, 2, kMethodBox), nullptr);
  ChunkyImage empty;  // no pixels
  empty.width = 4, empty.height = 4, empty.format = ARGB32;
  EXPECT_EQ(ScaleImage(&empty, 2, 2, kMethodBox), nullptr);
}

TEST_F(ResampleTest, IntermediateAllocationFailureLeavesTheSourceAndLeaksNothing) {
  // The destination (8192 x 1) fits, the intermediate image (8192 x 65536) does not.
  ChunkyPtr src(RandomImage(1, 65536, GREY8, 5));
  const std::vector<uint8_t> before = Bytes(src.get());
  EXPECT_EQ(ScaleImage(src.get(), 8192, 1, kMethodTriangle), nullptr);
  EXPECT_EQ(Bytes(src.get()), before);
  ChunkyPtr dst(chk_Create(8192, 1, GREY8, false));
  EXPECT_EQ(Resample(dst.get(), src.get(), TriangleKernel, 1.0), 1);
}

TEST_F(ResampleTest, ResampleRefusesMismatchedOrUnsupportedBuffers) {
  ChunkyPtr src(RandomImage(4, 4, ARGB32, 2));
  ChunkyPtr grey(chk_Create(2, 2, GREY8, false));
  EXPECT_EQ(Resample(grey.get(), src.get(), BoxKernel, 0.5), 1);
  ChunkyPtr rgb(RandomImage(4, 4, RGB24, 2));
  ChunkyPtr rgbOut(chk_Create(2, 2, RGB24, false));
  EXPECT_EQ(Resample(rgbOut.get(), rgb.get(), BoxKernel, 0.5), 1);
  ChunkyPtr ok(chk_Create(2, 2, ARGB32, false));
  EXPECT_EQ(Resample(ok.get(), src.get(), nullptr, 0.5), 1);
  EXPECT_EQ(Resample(ok.get(), nullptr, BoxKernel, 0.5), 1);
  EXPECT_EQ(Resample(ok.get(), src.get(), BoxKernel, 0.5), 0);
}

// ---------------------------------------------------------------- ScaleIntoCanvas

void ExpectBorderAndPicture(const ChunkyImage* canvas, const ChunkyImage* picture, int ox, int oy,
                            const uint8_t border[4]) {
  for (int y = 0; y < canvas->height; ++y) {
    for (int x = 0; x < canvas->width; ++x) {
      const uint8_t* got = canvas->pixels + (static_cast<size_t>(y) * canvas->width + x) * 4;
      const bool inside = x >= ox && x < ox + picture->width && y >= oy && y < oy + picture->height;
      const uint8_t* want =
          inside ? picture->pixels + (static_cast<size_t>(y - oy) * picture->width + (x - ox)) * 4 : border;
      ASSERT_EQ(std::memcmp(got, want, 4), 0) << "at " << x << "," << y << (inside ? " inside" : " border");
    }
  }
}

TEST_F(ResampleTest, CanvasLargerThanTheImageCentresItUnscaled) {
  ChunkyPtr src(RandomImage(100, 50, ARGB32, 3));
  ChunkyPtr canvas(ScaleIntoCanvas(src.get(), 200, 100, 10, 20, 30, 40));
  ASSERT_TRUE(canvas);
  EXPECT_EQ(canvas->width, 200);
  EXPECT_EQ(canvas->height, 100);
  const uint8_t border[4] = {40, 10, 20, 30};
  ExpectBorderAndPicture(canvas.get(), src.get(), 50, 25, border);
  // Odd differences round each half toward zero: 3 x 3 in 6 x 7 lands at (2, 2).
  ChunkyPtr small(RandomImage(3, 3, ARGB32, 4));
  ChunkyPtr odd(ScaleIntoCanvas(small.get(), 6, 7, 1, 2, 3, 4));
  ASSERT_TRUE(odd);
  const uint8_t border2[4] = {4, 1, 2, 3};
  ExpectBorderAndPicture(odd.get(), small.get(), 2, 2, border2);
}

TEST_F(ResampleTest, CanvasSmallerThanTheImageHoldsALanczosPicture) {
  ChunkyPtr src(RandomImage(100, 50, ARGB32, 5));
  ChunkyPtr canvas(ScaleIntoCanvas(src.get(), 80, 40, 1, 2, 3, 255));
  ASSERT_TRUE(canvas);
  EXPECT_EQ(canvas->width, 100);
  EXPECT_EQ(canvas->height, 50);
  ChunkyPtr lanczos(ScaleImage(src.get(), 80, 40, kMethodLanczos));
  const uint8_t border[4] = {255, 1, 2, 3};
  ExpectBorderAndPicture(canvas.get(), lanczos.get(), 10, 5, border);
  // Wider but lower than asked: resampled to exactly the asked size, offset 0 vertically.
  ChunkyPtr mixed(ScaleIntoCanvas(src.get(), 80, 100, 9, 9, 9, 9));
  ASSERT_TRUE(mixed);
  EXPECT_EQ(mixed->width, 100);
  EXPECT_EQ(mixed->height, 100);
  ChunkyPtr mixedPicture(ScaleImage(src.get(), 80, 100, kMethodLanczos));
  const uint8_t border9[4] = {9, 9, 9, 9};
  ExpectBorderAndPicture(mixed.get(), mixedPicture.get(), 10, 0, border9);
}

TEST_F(ResampleTest, CanvasWithOneAndTwoPixelSizes) {
  const uint8_t border[4] = {7, 1, 2, 3};
  for (int sw = 1; sw <= 2; ++sw)
    for (int sh = 1; sh <= 2; ++sh)
      for (int w = 1; w <= 3; ++w)
        for (int h = 1; h <= 3; ++h) {
          ChunkyPtr src(RandomImage(sw, sh, ARGB32, sw * 8 + sh));
          ChunkyPtr canvas(ScaleIntoCanvas(src.get(), w, h, 1, 2, 3, 7));
          ASSERT_TRUE(canvas);
          const int cw = std::max(sw, w), ch = std::max(sh, h);
          ASSERT_EQ(canvas->width, cw);
          ASSERT_EQ(canvas->height, ch);
          ChunkyPtr picture(sw <= w && sh <= h ? chk_Duplicate(src.get())
                                               : ScaleImage(src.get(), w, h, kMethodLanczos));
          ASSERT_TRUE(picture);
          ExpectBorderAndPicture(canvas.get(), picture.get(), cw / 2 - picture->width / 2, ch / 2 - picture->height / 2,
                                 border);
        }
}

TEST_F(ResampleTest, CanvasBorderInOneByteFormats) {
  ChunkyPtr grey = Uniform(2, 1, GREY8, 50);
  ChunkyPtr g(ScaleIntoCanvas(grey.get(), 4, 1, 255, 255, 254, 0));
  ASSERT_TRUE(g);
  EXPECT_EQ(Bytes(g.get()), (std::vector<uint8_t>{254, 50, 50, 254}));
  ChunkyPtr alpha = Uniform(1, 1, ALPHA8, 50);
  ChunkyPtr a(ScaleIntoCanvas(alpha.get(), 3, 1, 0, 0, 0, 77));
  ASSERT_TRUE(a);
  EXPECT_EQ(Bytes(a.get()), (std::vector<uint8_t>{77, 50, 77}));
  // SetPixel cannot write BYTE8: the border is cleared rather than left undefined.
  ChunkyPtr bytes = Uniform(1, 1, BYTE8, 50);
  ChunkyPtr b(ScaleIntoCanvas(bytes.get(), 3, 1, 9, 9, 9, 9));
  ASSERT_TRUE(b);
  EXPECT_EQ(Bytes(b.get()), (std::vector<uint8_t>{0, 50, 0}));
}

TEST_F(ResampleTest, CanvasRefusals) {
  ChunkyPtr rgb(RandomImage(4, 4, RGB24, 1));
  EXPECT_EQ(ScaleIntoCanvas(rgb.get(), 8, 8, 0, 0, 0, 0), nullptr);
  ChunkyPtr argb(RandomImage(4, 4, ARGB32, 1));
  EXPECT_EQ(ScaleIntoCanvas(argb.get(), 0, 8, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(ScaleIntoCanvas(argb.get(), 8, -1, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(ScaleIntoCanvas(argb.get(), 1 << 15, 1 << 15, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(ScaleIntoCanvas(nullptr, 8, 8, 0, 0, 0, 0), nullptr);
}

// ---------------------------------------------------------------- QuickScale

// The bilinear rule written out per channel, with positions computed as y x step rather than
// accumulated, and edge neighbours of one-pixel sources held at the edge.
std::vector<uint8_t> QuickScaleReference(const ChunkyImage* src, int nw, int nh) {
  const int bpp = BytesPerPixel(src->format);
  const int shift = bpp == 3 ? 16 : 25;
  const uint32_t total = bpp == 3 ? 65536 : 128;
  const int channelShift = bpp == 3 ? 16 : 7;
  const int64_t stepX = (int64_t{src->width - 1} << 16) / nw;
  const int64_t stepY = (int64_t{src->height - 1} << 16) / nh;
  std::vector<uint8_t> out(static_cast<size_t>(nw) * nh * bpp);
  for (int y = 0; y < nh; ++y) {
    const int64_t fy = y * stepY;
    const int row = static_cast<int>(fy >> 16), row1 = std::min(row + 1, src->height - 1);
    const uint32_t wy1 = fy & 0xFFFF, wy0 = 65535 - wy1;
    for (int x = 0; x < nw; ++x) {
      const int64_t fx = x * stepX;
      const int col = static_cast<int>(fx >> 16), col1 = std::min(col + 1, src->width - 1);
      const uint32_t wx1 = fx & 0xFFFF, wx0 = 65535 - wx1;
      const uint32_t w00 = (wx0 * wy0) >> shift, w01 = (wx1 * wy0) >> shift, w10 = (wx0 * wy1) >> shift;
      const uint32_t w11 = total - w00 - w01 - w10;
      auto at = [&](int cx, int cy, int c) {
        return uint32_t{src->pixels[(static_cast<size_t>(cy) * src->width + cx) * bpp + c]};
      };
      for (int c = 0; c < bpp; ++c)
        out[(static_cast<size_t>(y) * nw + x) * bpp + c] = static_cast<uint8_t>(
            (at(col, row, c) * w00 + at(col1, row, c) * w01 + at(col, row1, c) * w10 + at(col1, row1, c) * w11) >>
            channelShift);
    }
  }
  return out;
}

TEST_F(ResampleTest, QuickScaleBilinearMatchesThePerChannelRule) {
  const int sizes[][4] = {{1, 1, 1, 1}, {1, 1, 4, 3},     {1, 5, 3, 2},    {6, 1, 2, 7}, {2, 2, 9, 9},
                          {2, 2, 1, 1}, {37, 23, 10, 40}, {100, 3, 33, 3}, {5, 80, 5, 7}};
  for (uint32_t format : {RGB24, ARGB32, RGBA32}) {
    for (auto& s : sizes) {
      ChunkyPtr img(RandomImage(s[0], s[1], format, 21));
      const std::vector<uint8_t> expected = QuickScaleReference(img.get(), s[2], s[3]);
      QuickScale(img.get(), s[2], s[3]);
      ASSERT_EQ(img->width, s[2]);
      ASSERT_EQ(img->height, s[3]);
      EXPECT_EQ(Bytes(img.get()), expected) << "format " << format << " " << s[0] << "x" << s[1];
    }
  }
}

TEST_F(ResampleTest, QuickScaleHandComputedWeights) {
  // 3 x 3 -> 2 x 2 samples pixel (0, 0) with w00 = 65535 * 65535 >> 16 = 65534 and gives the
  // remaining 2 to pixel (1, 1): 255 there becomes 254.
  std::vector<uint8_t> rgb(27, 0);
  rgb[0] = rgb[1] = rgb[2] = 255;
  ChunkyPtr img = MakeImage(3, 3, RGB24, rgb);
  QuickScale(img.get(), 2, 2);
  EXPECT_EQ(img->pixels[0], 254);
  // With the 7-bit weights: w00 = 127, so 255 becomes 255 * 127 >> 7 = 253.
  std::vector<uint8_t> argb(36, 0);
  argb[0] = argb[1] = argb[2] = argb[3] = 255;
  ChunkyPtr img4 = MakeImage(3, 3, ARGB32, argb);
  QuickScale(img4.get(), 2, 2);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(img4->pixels[c], 253);
  // Uniform images stay uniform: the weights always sum to 65536 (128).
  ChunkyPtr white = Uniform(7, 5, ARGB32, 255);
  QuickScale(white.get(), 3, 11);
  for (uint8_t v : Bytes(white.get())) ASSERT_EQ(v, 255);
}

TEST_F(ResampleTest, QuickScaleNearestNeighbourForOtherFormats) {
  ChunkyPtr grey = MakeImage(4, 1, GREY8, {0, 1, 2, 3});
  QuickScale(grey.get(), 8, 1);
  EXPECT_EQ(Bytes(grey.get()), (std::vector<uint8_t>{0, 0, 1, 1, 2, 2, 3, 3}));
  ChunkyPtr row = MakeImage(1, 8, ALPHA8, {10, 11, 12, 13, 14, 15, 16, 17});
  QuickScale(row.get(), 1, 3);  // source rows 0, 8/3 = 2, 16/3 = 5
  EXPECT_EQ(Bytes(row.get()), (std::vector<uint8_t>{10, 12, 15}));
  ChunkyPtr rgb565 = MakeImage(2, 1, RGB565, {0xF8, 0x1F, 0x07, 0xE0});
  QuickScale(rgb565.get(), 3, 2);  // source columns 0, 0, 1
  EXPECT_EQ(Bytes(rgb565.get()),
            (std::vector<uint8_t>{0xF8, 0x1F, 0xF8, 0x1F, 0x07, 0xE0, 0xF8, 0x1F, 0xF8, 0x1F, 0x07, 0xE0}));
  // Formats the accessors do not carry are copied byte for byte.
  ChunkyPtr word = MakeImage(2, 1, WORD16, {1, 2, 3, 4});
  QuickScale(word.get(), 4, 1);
  EXPECT_EQ(Bytes(word.get()), (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 3, 4}));
  ChunkyPtr byte8 = MakeImage(3, 1, BYTE8, {9, 8, 7});
  QuickScale(byte8.get(), 1, 2);
  EXPECT_EQ(Bytes(byte8.get()), (std::vector<uint8_t>{9, 9}));
}

TEST_F(ResampleTest, QuickScaleFailureLeavesTheImage) {
  ChunkyPtr img(RandomImage(5, 4, ARGB32, 8));
  const std::vector<uint8_t> before = Bytes(img.get());
  uint8_t* pixels = img->pixels;
  for (auto [w, h] : {std::pair{0, 3}, std::pair{3, -1}, std::pair{1 << 15, 1 << 15}}) {
    QuickScale(img.get(), w, h);
    EXPECT_EQ(img->pixels, pixels);
    EXPECT_EQ(img->width, 5);
    EXPECT_EQ(img->height, 4);
    EXPECT_EQ(Bytes(img.get()), before);
  }
  QuickScale(nullptr, 3, 3);  // ignored
}

}  // namespace
}  // namespace vl::image
