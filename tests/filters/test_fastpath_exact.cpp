// The filters' fast paths against their plain per-pixel forms, byte for byte, on random
// pictures of odd sizes, with one thread and with the work cut into many pieces.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "filters/alpha_mode.h"
#include "filters/box_blur.h"
#include "filters/convolve_simd.h"
#include "filters/exact_divider.h"
#include "filters/gaussian_blur.h"
#include "filters/plain_paths.h"
#include "filters/rank.h"
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

// Lowers the vector level of the Gaussian's kernels for the scope.
class ScopedSimdLimit {
 public:
  explicit ScopedSimdLimit(detail::SimdLevel limit) { detail::SetSimdLimit(limit); }
  ~ScopedSimdLimit() { detail::SetSimdLimit(detail::SimdLevel::kAvx512); }
};

// The vector levels this processor runs, the plain loop first.
std::vector<detail::SimdLevel> Levels() {
  std::vector<detail::SimdLevel> levels;
  const detail::SimdLevel best = detail::SimdLevelInUse();
  for (detail::SimdLevel l : {detail::SimdLevel::kPlain, detail::SimdLevel::kAvx2, detail::SimdLevel::kAvx512})
    if (static_cast<int>(l) <= static_cast<int>(best)) levels.push_back(l);
  return levels;
}

void ExpectGaussianMatches(const ChunkyImage* source, float radius, AlphaMode mode, const std::string& where) {
  ChunkyPtr plainResult(image::chk_Duplicate(source));
  ASSERT_TRUE(plainResult);
  bool plainOk;
  {
    platform::ScopedThreadCount one(1);
    plainOk = plain::GaussianBlur(plainResult.get(), radius, mode);
  }
  for (detail::SimdLevel level : Levels()) {
    ScopedSimdLimit limit(level);
    for (int threads : {1, 2}) {
      ChunkyPtr fast(image::chk_Duplicate(source));
      ASSERT_TRUE(fast);
      platform::ScopedThreadCount scope(threads, true);
      EXPECT_EQ(plainOk, GaussianBlur(fast.get(), radius, mode)) << where;
      EXPECT_EQ(0, std::memcmp(plainResult->pixels, fast->pixels, Bytes(source)))
          << where << " level " << static_cast<int>(level) << " threads " << threads << ", first difference at "
          << FirstDifference(plainResult.get(), fast.get());
    }
  }
}

TEST_F(FastPathExact, GaussianEverySizeModeAndRadius) {
  // 0 and 0.25 give the shortest kernels, 100 the largest radius allowed, -3.5 a negative one.
  const float radii[] = {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, 3.7f, -3.5f, 10.0f, 33.3f};
  for (uint32_t format : {image::ARGB32, image::BYTE8, image::GREY8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w * 7 + s.h)));
      ASSERT_TRUE(source);
      for (AlphaMode mode : {kAlphaOnly, kColourOnly, kColourAndAlpha})
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
      for (AlphaMode mode : {kAlphaOnly, kColourOnly, kColourAndAlpha})
        ExpectGaussianMatches(source.get(), kMaxGaussianRadius, mode,
                              Where(s, format, "mode " + std::to_string(mode) + " largest radius"));
    }
}

TEST_F(FastPathExact, GaussianTallPictureTakesNarrowStrips) {
  // 70 000 rows: a strip's copy holds 119 one-byte columns or 29 four-byte ones, fewer
  // than the usual 128 and 32, and the last strip is a short one.
  const std::pair<uint32_t, Size> cases[] = {{image::BYTE8, {130, 70000}}, {image::ARGB32, {40, 70000}}};
  for (const auto& [format, s] : cases) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, format, 4));
    ASSERT_TRUE(source);
    for (AlphaMode mode : {kColourOnly, kColourAndAlpha})
      ExpectGaussianMatches(source.get(), 0.5f, mode, Where(s, format, "tall, mode " + std::to_string(mode)));
  }
}

TEST_F(FastPathExact, SimdLevelFollowsItsLimit) {
  const detail::SimdLevel best = detail::SimdLevelInUse();
  {
    ScopedSimdLimit limit(detail::SimdLevel::kPlain);
    EXPECT_EQ(detail::SimdLevel::kPlain, detail::SimdLevelInUse());
  }
  EXPECT_EQ(best, detail::SimdLevelInUse());
  std::printf("vector level of this processor: %d\n", static_cast<int>(best));
}

TEST_F(FastPathExact, GaussianRefusesWhatThePlainPathRefuses) {
  ChunkyPtr argb(test::RandomImage(9, 9, image::ARGB32, 3));
  ChunkyPtr rgb(test::RandomImage(9, 9, image::RGB24, 3));
  ASSERT_TRUE(argb && rgb);
  ChunkyPtr before(image::chk_Duplicate(argb.get()));
  ASSERT_TRUE(before);
  EXPECT_FALSE(GaussianBlur(argb.get(), 2.0f, static_cast<AlphaMode>(2)));             // not a mode
  EXPECT_FALSE(GaussianBlur(argb.get(), kMaxGaussianRadius + 1.0f, kColourAndAlpha));  // too large
  EXPECT_FALSE(GaussianBlur(argb.get(), std::numeric_limits<float>::quiet_NaN(), kColourAndAlpha));
  EXPECT_FALSE(GaussianBlur(rgb.get(), 2.0f, kColourAndAlpha));  // 3-byte pixels
  EXPECT_FALSE(GaussianBlur(nullptr, 2.0f, kColourAndAlpha));
  EXPECT_EQ(0, std::memcmp(before->pixels, argb->pixels, Bytes(argb.get())));
}

TEST_F(FastPathExact, GaussianKeepsTheBytesTheModeLeavesOut) {
  // A byte check of its own, so that a fault common to both paths still shows.
  ChunkyPtr source(test::RandomImage(87, 40, image::ARGB32, 12));
  ASSERT_TRUE(source);
  for (AlphaMode mode : {kAlphaOnly, kColourOnly}) {
    ChunkyPtr out(image::chk_Duplicate(source.get()));
    ASSERT_TRUE(out);
    platform::ScopedThreadCount scope(2, true);
    ASSERT_TRUE(GaussianBlur(out.get(), 3.0f, mode));
    size_t kept = 0, changed = 0;
    for (size_t i = 0; i < Bytes(source.get()); ++i) {
      const bool selected = (i % 4 == 0) == (mode == kAlphaOnly);
      if (!selected)
        kept += out->pixels[i] == source->pixels[i];
      else
        changed += out->pixels[i] != source->pixels[i];
    }
    // Mode 1 leaves R, G, B of every pixel, mode 3 leaves A.
    EXPECT_EQ(kept, size_t{87} * 40 * (mode == kAlphaOnly ? 3 : 1)) << "mode " << mode;
    EXPECT_GT(changed, Bytes(source.get()) / 8) << "mode " << mode;
  }
}

// ---- Box blur and sharpening ----

// Runs fast and plain into separate destinations and the fast one also in place.
template <typename Fast, typename Plain>
void ExpectSourceFilterMatches(const ChunkyImage* source, Fast fast, Plain plainFilter, const std::string& where) {
  ChunkyPtr plainResult(image::chk_Create(source->width, source->height, source->format, true));
  ASSERT_TRUE(plainResult);
  bool plainOk;
  {
    platform::ScopedThreadCount one(1);
    plainOk = plainFilter(source, plainResult.get());
  }
  for (int threads : {1, 2}) {
    platform::ScopedThreadCount scope(threads, true);
    ChunkyPtr out(image::chk_Create(source->width, source->height, source->format, true));
    ChunkyPtr inPlace(image::chk_Duplicate(source));
    ASSERT_TRUE(out && inPlace);
    EXPECT_EQ(plainOk, fast(source, out.get())) << where;
    EXPECT_EQ(plainOk, fast(inPlace.get(), inPlace.get())) << where;
    EXPECT_EQ(0, std::memcmp(plainResult->pixels, out->pixels, Bytes(source)))
        << where << " threads " << threads << ", first difference at " << FirstDifference(plainResult.get(), out.get());
    EXPECT_EQ(0, std::memcmp(plainResult->pixels, inPlace->pixels, Bytes(source)))
        << where << " in place, threads " << threads;
  }
}

TEST_F(FastPathExact, BoxBlurEverySizeAndRadiusPair) {
  for (uint32_t format : {image::ARGB32, image::BYTE8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, static_cast<uint32_t>(5 * s.w + s.h)));
      ASSERT_TRUE(source);
      for (int rx : {-1, 0, 1, 2, 10, 128, 100000})
        for (int ry : {0, 1, 3, 31, 100000})
          ExpectSourceFilterMatches(
              source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return BoxBlur(in, out, rx, ry); },
              [&](const ChunkyImage* in, ChunkyImage* out) { return plain::BoxBlur(in, out, rx, ry); },
              Where(s, format, "radii " + std::to_string(rx) + "," + std::to_string(ry)));
    }
  }
}

TEST_F(FastPathExact, BoxBlurWindowsTooLargeForThirtyTwoBitSums) {
  // 255 x (2 x 8 499 999 + 1) passes 2^32: these lines take the 64-bit sums.
  constexpr int kLong = 8500000;
  for (const Size& s : {Size{kLong, 1}, Size{1, kLong}}) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::BYTE8, 8));
    ASSERT_TRUE(source);
    ExpectSourceFilterMatches(
        source.get(), [](const ChunkyImage* in, ChunkyImage* out) { return BoxBlur(in, out, kLong, kLong); },
        [](const ChunkyImage* in, ChunkyImage* out) { return plain::BoxBlur(in, out, kLong, kLong); },
        Where(s, image::BYTE8, "whole-line radius"));
  }
}

TEST_F(FastPathExact, SharpenEverySizeMaskAndStrength) {
  // Strengths past +-257 reach the limit on k; 0.35 truncates k.
  for (const Size& s : kSizes) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, static_cast<uint32_t>(s.w * s.h)));
    ASSERT_TRUE(source);
    for (int mask : {0, 1, 3, 50})
      for (double strength : {-1000.0, -2.0, -0.01, 0.0, 0.35, 1.0, 4.0, 300.0})
        ExpectSourceFilterMatches(
            source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return Sharpen(in, out, mask, strength); },
            [&](const ChunkyImage* in, ChunkyImage* out) { return plain::Sharpen(in, out, mask, strength); },
            Where(s, image::ARGB32, "mask " + std::to_string(mask) + " strength " + std::to_string(strength)));
  }
}

// ---- Minimum, maximum and median ----

using Neighbourhood = bool (*)(const ChunkyImage*, ChunkyImage*, int, bool);
struct NeighbourhoodPair {
  const char* name;
  Neighbourhood fast;
  Neighbourhood plain;
};
const NeighbourhoodPair kNeighbourhoods[] = {{"Minimum", MinimumFilter, plain::MinimumFilter},
                                             {"Maximum", MaximumFilter, plain::MaximumFilter},
                                             {"Median", MedianFilter, plain::MedianFilter}};

void ExpectNeighbourhoodMatches(const ChunkyImage* source, const NeighbourhoodPair& f, int radius, bool circular,
                                const std::string& where) {
  ChunkyPtr plainResult(image::chk_Create(source->width, source->height, source->format, true));
  ASSERT_TRUE(plainResult);
  bool plainOk;
  {
    platform::ScopedThreadCount one(1);
    plainOk = f.plain(source, plainResult.get(), radius, circular);
  }
  for (int threads : {1, 2}) {
    platform::ScopedThreadCount scope(threads, true);
    ChunkyPtr fast(image::chk_Create(source->width, source->height, source->format, true));
    ChunkyPtr inPlace(image::chk_Duplicate(source));
    ASSERT_TRUE(fast && inPlace);
    EXPECT_EQ(plainOk, f.fast(source, fast.get(), radius, circular)) << where;
    EXPECT_EQ(plainOk, f.fast(inPlace.get(), inPlace.get(), radius, circular)) << where;
    EXPECT_EQ(0, std::memcmp(plainResult->pixels, fast->pixels, Bytes(source)))
        << where << " threads " << threads << ", first difference at "
        << FirstDifference(plainResult.get(), fast.get());
    EXPECT_EQ(0, std::memcmp(plainResult->pixels, inPlace->pixels, Bytes(source)))
        << where << " in place, threads " << threads;
  }
}

TEST_F(FastPathExact, NeighbourhoodFiltersEverySizeRadiusAndMask) {
  for (const Size& s : kSizes) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, static_cast<uint32_t>(s.w + 3 * s.h)));
    ASSERT_TRUE(source);
    for (const NeighbourhoodPair& f : kNeighbourhoods)
      for (int radius = 0; radius <= kMaxMaskRadius; ++radius)
        for (bool circular : {false, true})
          ExpectNeighbourhoodMatches(source.get(), f, radius, circular,
                                     Where(s, image::ARGB32,
                                           std::string(f.name) + " radius " + std::to_string(radius) +
                                               (circular ? " circular" : " rectangular")));
  }
}

TEST_F(FastPathExact, NeighbourhoodFiltersOnFewValues) {
  // Long runs of equal values and two-valued noise: many ties at the median, and minimum
  // and maximum that stay put for long stretches and then jump.
  for (const Size& s : {Size{61, 23}, Size{7, 90}}) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, 99));
    ASSERT_TRUE(source);
    for (size_t i = 0; i < Bytes(source.get()); ++i) {
      const uint8_t v = source->pixels[i];
      source->pixels[i] = i % 4 == 0      ? (v < 128 ? 0 : 255)
                          : i % 4 == 1    ? static_cast<uint8_t>(v & 0xC0)
                          : (i / 400) % 2 ? 7
                                          : v;
    }
    for (const NeighbourhoodPair& f : kNeighbourhoods)
      for (int radius : {1, 2, 5, kMaxMaskRadius})
        for (bool circular : {false, true})
          ExpectNeighbourhoodMatches(source.get(), f, radius, circular,
                                     Where(s, image::ARGB32,
                                           std::string(f.name) + " few values radius " + std::to_string(radius) +
                                               (circular ? " circular" : "")));
  }
}

TEST_F(FastPathExact, NeighbourhoodFiltersRefuseLikeThePlainPath) {
  ChunkyPtr a(test::RandomImage(8, 8, image::ARGB32, 1));
  ChunkyPtr b(test::RandomImage(8, 9, image::ARGB32, 1));
  ChunkyPtr grey(test::RandomImage(8, 8, image::GREY8, 1));
  ASSERT_TRUE(a && b && grey);
  for (const NeighbourhoodPair& f : kNeighbourhoods) {
    EXPECT_FALSE(f.fast(a.get(), b.get(), 1, false)) << f.name;
    EXPECT_FALSE(f.fast(grey.get(), grey.get(), 1, false)) << f.name;
    EXPECT_FALSE(f.fast(a.get(), a.get(), -1, false)) << f.name;
    EXPECT_FALSE(f.fast(a.get(), a.get(), kMaxMaskRadius + 1, true)) << f.name;
    EXPECT_FALSE(f.fast(nullptr, a.get(), 1, false)) << f.name;
  }
}

TEST_F(FastPathExact, MedianOfTheClippedCornerTakesTheUpperMiddle) {
  // Radius 1 at the top left corner of a 2 x 2 picture holds all four pixels: the median is
  // the element at index 2 of the sorted four.
  ChunkyPtr source(image::chk_Create(2, 2, image::ARGB32, false));
  ASSERT_TRUE(source);
  const uint8_t values[4] = {30, 0, 20, 10};
  for (int p = 0; p < 4; ++p) std::memset(source->pixels + p * 4, values[p], 4);
  ChunkyPtr out(image::chk_Create(2, 2, image::ARGB32, true));
  ASSERT_TRUE(out);
  ASSERT_TRUE(MedianFilter(source.get(), out.get(), 1, false));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(20, out->pixels[i]) << i;
  ASSERT_TRUE(MinimumFilter(source.get(), out.get(), 1, false));
  EXPECT_EQ(0, out->pixels[0]);
  ASSERT_TRUE(MaximumFilter(source.get(), out.get(), 1, true));
  // The plus at (0, 0) holds 30, 0 and 20; the one at (1, 1) holds 10, 20 and 0.
  EXPECT_EQ(30, out->pixels[0]);
  EXPECT_EQ(20, out->pixels[12]);
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
