// The filters' fast paths against their plain per-pixel forms, byte for byte, on random
// pictures of odd sizes, with one thread and with the work cut into many pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "filters/alpha_mode.h"
#include "filters/blur.h"
#include "filters/exact_divider.h"
#include "filters/plain_paths.h"
#include "filters/sharpen.h"
#include "image/chunky.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::filters {
namespace {

using image::ChunkyImage;
using image::ChunkyPtr;

struct Size {
  int w, h;
};

// 1 x 1, single rows and columns, pictures smaller than the kernels, widths one past the
// blocks and strips of 64, 85 and 256 pixels the Gaussian works in, and a large odd size.
const Size kSizes[] = {{1, 1}, {1, 37}, {37, 1}, {2, 2}, {5, 3}, {66, 9}, {87, 40}, {258, 3}, {3, 258}, {257, 131}};

size_t Bytes(const ChunkyImage* c) {
  return image::BufferBytes(c->width, c->height, c->format);
}

std::string Where(const Size& s, uint32_t format, const std::string& params) {
  return std::to_string(s.w) + "x" + std::to_string(s.h) + " format " + std::to_string(format) + " " + params;
}

// The first differing byte, for a readable failure.
std::string FirstDifference(const ChunkyImage* a, const ChunkyImage* b) {
  const size_t n = Bytes(a);
  for (size_t i = 0; i < n; ++i)
    if (a->pixels[i] != b->pixels[i])
      return "byte " + std::to_string(i) + ": " + std::to_string(a->pixels[i]) + " vs " + std::to_string(b->pixels[i]);
  return "none";
}

class FastPathExact : public test::PoolTest {};

// ---- Gaussian blur ----

void ExpectGaussianMatches(const ChunkyImage* source, float radius, int mode, const std::string& where) {
  ChunkyPtr plainResult(image::chk_Duplicate(source));
  ASSERT_TRUE(plainResult);
  bool plainOk;
  {
    platform::ScopedThreadCount one(1);
    plainOk = plain::GaussianBlur(plainResult.get(), radius, mode);
  }
  for (int threads : {1, 2}) {
    ChunkyPtr fast(image::chk_Duplicate(source));
    ASSERT_TRUE(fast);
    platform::ScopedThreadCount scope(threads, true);
    EXPECT_EQ(plainOk, GaussianBlur(fast.get(), radius, mode)) << where;
    EXPECT_EQ(0, std::memcmp(plainResult->pixels, fast->pixels, Bytes(source)))
        << where << " threads " << threads << ", first difference at " << FirstDifference(plainResult.get(), fast.get());
  }
}

TEST_F(FastPathExact, GaussianEverySizeModeAndRadius) {
  // 0 and 0.25 give the shortest kernels, 100 the largest radius allowed, -3.5 a negative one.
  const float radii[] = {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, 3.7f, -3.5f, 10.0f, 33.3f};
  for (uint32_t format : {image::ARGB32, image::BYTE8, image::GREY8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w * 7 + s.h)));
      ASSERT_TRUE(source);
      for (int mode : {kAlphaOnly, kColourOnly, kColourAndAlpha})
        for (float radius : radii)
          ExpectGaussianMatches(source.get(), radius, mode,
                                Where(s, format, "mode " + std::to_string(mode) + " radius " + std::to_string(radius)));
    }
  }
}

TEST_F(FastPathExact, GaussianLargestRadius) {
  // About 400 taps: a kernel far longer than any of these pictures, and one well inside.
  for (uint32_t format : {image::ARGB32, image::BYTE8})
    for (const Size& s : {Size{1, 1}, Size{9, 500}, Size{500, 7}, Size{257, 131}}) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, 77));
      ASSERT_TRUE(source);
      for (int mode : {kAlphaOnly, kColourOnly, kColourAndAlpha})
        ExpectGaussianMatches(source.get(), kMaxGaussianRadius, mode,
                              Where(s, format, "mode " + std::to_string(mode) + " largest radius"));
    }
}

TEST_F(FastPathExact, GaussianRefusesWhatThePlainPathRefuses) {
  ChunkyPtr argb(test::RandomImage(9, 9, image::ARGB32, 3));
  ChunkyPtr rgb(test::RandomImage(9, 9, image::RGB24, 3));
  ASSERT_TRUE(argb && rgb);
  ChunkyPtr before(image::chk_Duplicate(argb.get()));
  ASSERT_TRUE(before);
  EXPECT_FALSE(GaussianBlur(argb.get(), 2.0f, 2));                           // not a mode
  EXPECT_FALSE(GaussianBlur(argb.get(), kMaxGaussianRadius + 1.0f, 4));      // too large
  EXPECT_FALSE(GaussianBlur(argb.get(), std::numeric_limits<float>::quiet_NaN(), 4));
  EXPECT_FALSE(GaussianBlur(rgb.get(), 2.0f, 4));                            // 3-byte pixels
  EXPECT_FALSE(GaussianBlur(nullptr, 2.0f, 4));
  EXPECT_EQ(0, std::memcmp(before->pixels, argb->pixels, Bytes(argb.get())));
}

TEST_F(FastPathExact, GaussianKeepsTheBytesTheModeLeavesOut) {
  // A byte check of its own, so that a fault common to both paths still shows.
  ChunkyPtr source(test::RandomImage(87, 40, image::ARGB32, 12));
  ASSERT_TRUE(source);
  for (int mode : {kAlphaOnly, kColourOnly}) {
    ChunkyPtr out(image::chk_Duplicate(source.get()));
    ASSERT_TRUE(out);
    platform::ScopedThreadCount scope(2, true);
    ASSERT_TRUE(GaussianBlur(out.get(), 3.0f, mode));
    size_t kept = 0, changed = 0;
    for (size_t i = 0; i < Bytes(source.get()); ++i) {
      const bool selected = (i % 4 == 0) == (mode == kAlphaOnly);
      if (!selected) kept += out->pixels[i] == source->pixels[i];
      else changed += out->pixels[i] != source->pixels[i];
    }
    // Mode 1 leaves R, G, B of every pixel, mode 3 leaves A.
    EXPECT_EQ(kept, size_t{87} * 40 * (mode == kAlphaOnly ? 3 : 1)) << "mode " << mode;
    EXPECT_GT(changed, Bytes(source.get()) / 8) << "mode " << mode;
  }
}

// ---- The reciprocal division ----

TEST_F(FastPathExact, ExactDividerMatchesDivisionForEveryGaussianWeightSum) {
  // floor(x * m / 2^k) never decreases with x, so when it equals q at both q * d and
  // q * d + d - 1 it equals q for the whole run between: these two ends for every q prove
  // every x in 0 .. 255 * d.
  int kernels = 0;
  for (int step = 0; step <= 1000; ++step) {
    const GaussianLineKernel kernel = GaussianKernel(static_cast<float>(step) * 0.1f);
    ASSERT_FALSE(kernel.empty());
    uint32_t d = 0;
    for (int32_t w : kernel.weights) d += static_cast<uint32_t>(w);
    detail::ExactDivider divide;
    ASSERT_TRUE(divide.Init(d, 255 * d)) << d;
    for (uint32_t q = 0; q <= 255; ++q) {
      ASSERT_EQ(q, divide(q * d)) << "d " << d;
      if (q < 255) {
        ASSERT_EQ(q, divide(q * d + d - 1)) << "d " << d;
      }
    }
    ++kernels;
  }
  EXPECT_EQ(1001, kernels);
}

TEST_F(FastPathExact, ExactDividerEveryValueForSmallDivisorsAndItsLimits) {
  for (uint32_t d : {1u, 2u, 3u, 7u, 255u, 10000u, 10001u, 65535u}) {
    detail::ExactDivider divide;
    ASSERT_TRUE(divide.Init(d, 255 * d));
    for (uint32_t x = 0; x <= 255 * d; x += (d > 300 ? 7 : 1)) ASSERT_EQ(x / d, divide(x)) << x << " / " << d;
  }
  // The largest limit and divisor it takes, at the ends of the range.
  detail::ExactDivider big;
  ASSERT_TRUE(big.Init((1u << 31) - 1, (1u << 31) - 1));
  EXPECT_EQ(1u, big((1u << 31) - 1));
  EXPECT_EQ(0u, big((1u << 31) - 2));
  detail::ExactDivider refused;
  EXPECT_FALSE(refused.Init(0, 10));
  EXPECT_FALSE(refused.Init(1u << 31, 10));
  EXPECT_FALSE(refused.Init(3, 1u << 31));
}

}  // namespace
}  // namespace vl::filters
