// The filters split over the thread pool against the same filters on one thread.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "filters/alpha_mode.h"
#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/rank.h"
#include "filters/sharpen.h"
#include "filters/tone.h"
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
const Size kSizes[] = {{1, 1}, {2, 3}, {3, 2}, {1, 40}, {40, 1}, {97, 61}, {33, 70}};

bool SameImage(const ChunkyImage* a, const ChunkyImage* b) {
  if (!a || !b || a->width != b->width || a->height != b->height || a->format != b->format) return false;
  return std::memcmp(a->pixels, b->pixels, image::BufferBytes(a->width, a->height, a->format)) == 0;
}

// A filter reading source and writing destination (which may be the same image).
using Filter = std::function<bool(const ChunkyImage* source, ChunkyImage* destination)>;

// Runs the filter with one thread and with several, both into a separate destination and
// in place, and expects the same result and the same answer every time.
void ExpectSameWithThreads(const ChunkyImage* source, const Filter& filter, const std::string& what) {
  ChunkyPtr serial(image::chk_Duplicate(source));
  ChunkyPtr threaded(image::chk_Duplicate(source));
  ChunkyPtr inPlace(image::chk_Duplicate(source));
  ASSERT_TRUE(serial && threaded && inPlace);
  bool serialOk, threadedOk, inPlaceOk;
  {
    platform::ScopedThreadCount scope(1);
    serialOk = filter(source, serial.get());
  }
  {
    platform::ScopedThreadCount scope(3, true);
    threadedOk = filter(source, threaded.get());
    inPlaceOk = filter(inPlace.get(), inPlace.get());
  }
  EXPECT_EQ(serialOk, threadedOk) << what;
  EXPECT_EQ(serialOk, inPlaceOk) << what;
  EXPECT_TRUE(SameImage(serial.get(), threaded.get())) << what;
  EXPECT_TRUE(SameImage(serial.get(), inPlace.get())) << what << " (in place)";
}

std::string Name(const char* filter, const Size& s, const std::string& params) {
  return std::string(filter) + " " + std::to_string(s.w) + "x" + std::to_string(s.h) + " " + params;
}

class FastPathFilters : public test::PoolTest {};

TEST_F(FastPathFilters, BoxBlurEveryRadiusPairAndByteSize) {
  // 70 columns make strips of 32 with a short last one.
  for (uint32_t format : {image::ARGB32, image::GREY8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w * 3 + s.h)));
      ASSERT_TRUE(source);
      for (int rx : {-1, 0, 1, 2, 5, 200})
        for (int ry : {0, 1, 3, 200})
          ExpectSameWithThreads(
              source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return BoxBlur(in, out, rx, ry); },
              Name("BoxBlur", s, std::to_string(rx) + "," + std::to_string(ry) + " format " + std::to_string(format)));
    }
  }
}

TEST_F(FastPathFilters, GaussianBlurEveryModeAndRadius) {
  for (uint32_t format : {image::ARGB32, image::GREY8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(test::RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w + s.h * 5)));
      ASSERT_TRUE(source);
      for (AlphaMode mode : {kAlphaOnly, kColourOnly, kColourAndAlpha}) {
        for (float radius : {0.0f, 0.5f, 1.0f, 3.7f, 10.0f}) {
          // GaussianBlur works in place, so the copy is the destination.
          ExpectSameWithThreads(
              source.get(),
              [&](const ChunkyImage* in, ChunkyImage* out) {
                if (in != out)
                  std::memcpy(out->pixels, in->pixels, image::BufferBytes(in->width, in->height, in->format));
                return GaussianBlur(out, radius, mode);
              },
              Name("GaussianBlur", s, "mode " + std::to_string(mode) + " radius " + std::to_string(radius)));
        }
      }
    }
  }
}

TEST_F(FastPathFilters, SharpenEveryMaskSizeAndStrength) {
  for (const Size& s : kSizes) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, 21));
    ASSERT_TRUE(source);
    for (int mask : {0, 1, 2, 4})
      for (double strength : {-2.0, 0.0, 0.35, 1.0, 4.0})
        ExpectSameWithThreads(
            source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return Sharpen(in, out, mask, strength); },
            Name("Sharpen", s, std::to_string(mask) + " " + std::to_string(strength)));
  }
}

TEST_F(FastPathFilters, MinimumMaximumMedianEveryRadiusAndMask) {
  using Neighbourhood = bool (*)(const ChunkyImage*, ChunkyImage*, int, bool);
  const std::pair<const char*, Neighbourhood> filters[] = {
      {"Minimum", MinimumFilter}, {"Maximum", MaximumFilter}, {"Median", MedianFilter}};
  for (const Size& s : kSizes) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, 5));
    ASSERT_TRUE(source);
    for (const auto& [label, fn] : filters)
      for (int radius : {0, 1, 2, 3})
        for (bool circular : {false, true})
          ExpectSameWithThreads(
              source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return fn(in, out, radius, circular); },
              Name(label, s, std::to_string(radius) + (circular ? " circular" : " rectangular")));
  }
}

TEST_F(FastPathFilters, ToneFiltersEveryMode) {
  for (const Size& s : kSizes) {
    ChunkyPtr source(test::RandomImage(s.w, s.h, image::ARGB32, 9));
    ASSERT_TRUE(source);
    for (AlphaMode mode : {kAlphaOnly, kColourOnly, kColourAndAlpha}) {
      ExpectSameWithThreads(
          source.get(), [&](const ChunkyImage* in, ChunkyImage* out) { return Levels(in, out, 30, 200, mode); },
          Name("Levels", s, std::to_string(mode)));
    }
    for (int method : {0, 1, 2})
      ExpectSameWithThreads(
          source.get(),
          [&](const ChunkyImage* in, ChunkyImage* out) {
            return ContrastGamma(in, out, 1.4f, 0.8f, AlphaModeFromRadio(method));
          },
          Name("ContrastGamma", s, std::to_string(method)));
    ExpectSameWithThreads(
        source.get(), [](const ChunkyImage* in, ChunkyImage* out) { return RGBBalance(in, out, 1.2, 0.5, 2.0, 0.9); },
        Name("RGBBalance", s, ""));
    ExpectSameWithThreads(
        source.get(), [](const ChunkyImage* in, ChunkyImage* out) { return HSVBalance(in, out, 40.0, 1.3, 0.7); },
        Name("HSVBalance", s, ""));
  }
}

TEST_F(FastPathFilters, FiltersStillChangeThePicture) {
  // Guards the comparisons above against a filter that silently does nothing on both paths.
  ChunkyPtr source(test::RandomImage(97, 61, image::ARGB32, 2));
  ChunkyPtr out(image::chk_Duplicate(source.get()));
  ASSERT_TRUE(source && out);
  platform::ScopedThreadCount scope(3, true);
  ASSERT_TRUE(BoxBlur(source.get(), out.get(), 2, 2));
  EXPECT_FALSE(SameImage(source.get(), out.get()));
  std::memcpy(out->pixels, source->pixels, image::BufferBytes(97, 61, image::ARGB32));
  ASSERT_TRUE(GaussianBlur(out.get(), 3.0f, kColourAndAlpha));
  EXPECT_FALSE(SameImage(source.get(), out.get()));
  ASSERT_TRUE(MedianFilter(source.get(), out.get(), 2, true));
  EXPECT_FALSE(SameImage(source.get(), out.get()));
  ASSERT_TRUE(Levels(source.get(), out.get(), 30, 200, kColourAndAlpha));
  EXPECT_FALSE(SameImage(source.get(), out.get()));
}

}  // namespace
}  // namespace vl::filters
