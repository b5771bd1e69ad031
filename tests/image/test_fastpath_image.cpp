// The threaded and row-ordered paths of the image operations against the serial ones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/chunky.h"
#include "image/geometry.h"
#include "image/resample.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::image {
namespace {

using test::RandomImage;

struct Size {
  int32_t w, h;
};
// Odd sizes, single pixels and lines, and sizes that split unevenly into pieces.
const Size kSizes[] = {{1, 1}, {2, 3}, {3, 2}, {1, 17}, {17, 1}, {97, 61}, {61, 97}, {130, 7}};

bool SameImage(const ChunkyImage* a, const ChunkyImage* b) {
  if (!a || !b || a->width != b->width || a->height != b->height || a->format != b->format) return false;
  return std::memcmp(a->pixels, b->pixels, BufferBytes(a->width, a->height, a->format)) == 0;
}

// Every image taken from the pool goes back (the fixture checks no block is left).
class FastPathImage : public test::PoolTest {};

TEST_F(FastPathImage, ResampleMatchesThePlainPassesForEveryKernelAndSize) {
  const Size targets[] = {{1, 1}, {5, 3}, {40, 31}, {193, 122}};
  int compared = 0;
  for (uint32_t format : {ARGB32, GREY8}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w * 131 + s.h)));
      ASSERT_TRUE(source);
      for (int method = 0; method < kMethodCount; ++method) {
        const MethodInfo* info = GetMethodInfo(method);
        for (const Size& t : targets) {
          ChunkyPtr plain(chk_Create(t.w, t.h, format, false));
          ChunkyPtr fast(chk_Create(t.w, t.h, format, false));
          ASSERT_TRUE(plain && fast);
          ASSERT_EQ(ResamplePlain(plain.get(), source.get(), info->kernel, info->support), 0);
          for (int threads : {1, 3}) {
            platform::ScopedThreadCount scope(threads, true);
            std::memset(fast->pixels, 0xA5, BufferBytes(t.w, t.h, format));
            ASSERT_EQ(Resample(fast.get(), source.get(), info->kernel, info->support), 0);
            EXPECT_TRUE(SameImage(plain.get(), fast.get()))
                << info->label << " " << s.w << "x" << s.h << " -> " << t.w << "x" << t.h << " format " << format
                << " threads " << threads;
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 2 * 8 * kMethodCount * 4 * 2);
}

TEST_F(FastPathImage, ScaleImageWithDefaultThreadsMatchesThePlainResampler) {
  // The default grain and thread count, on a picture big enough to be split.
  ChunkyPtr source(RandomImage(1201, 403, ARGB32, 7));
  ASSERT_TRUE(source);
  ChunkyPtr fast(ScaleImage(source.get(), 300, 101, kMethodLanczos));
  ChunkyPtr plain(chk_Create(300, 101, ARGB32, false));
  ASSERT_TRUE(fast && plain);
  const MethodInfo* info = GetMethodInfo(kMethodLanczos);
  ASSERT_EQ(ResamplePlain(plain.get(), source.get(), info->kernel, info->support), 0);
  EXPECT_TRUE(SameImage(plain.get(), fast.get()));
}

TEST_F(FastPathImage, StrongReductionsMatchThePlainResampler) {
  // Hundreds of taps per pixel (odd and even counts), rows whose byte count is and is not a
  // multiple of 32, and black-and-white stripes whose overshoot is clipped at both ends.
  ChunkyPtr stripes(chk_Create(1201, 403, ARGB32, false));
  ASSERT_TRUE(stripes);
  for (size_t i = 0; i < BufferBytes(1201, 403, ARGB32); ++i)
    stripes->pixels[i] = ((i / 4) % 7 < 3 || (i / (4 * 1201)) % 5 == 0) ? 255 : 0;
  ChunkyPtr noise(RandomImage(1201, 403, ARGB32, 11));
  ASSERT_TRUE(noise);
  const Size targets[] = {{13, 5}, {8, 8}, {64, 21}, {151, 67}};
  for (const ChunkyImage* source : {stripes.get(), noise.get()}) {
    for (int method : {kMethodLanczos, kMethodMitchell, kMethodBox}) {
      const MethodInfo* info = GetMethodInfo(method);
      for (const Size& t : targets) {
        ChunkyPtr fast(ScaleImage(source, t.w, t.h, method));
        ChunkyPtr plain(chk_Create(t.w, t.h, ARGB32, false));
        ASSERT_TRUE(fast && plain);
        ASSERT_EQ(ResamplePlain(plain.get(), source, info->kernel, info->support), 0);
        EXPECT_TRUE(SameImage(plain.get(), fast.get())) << info->label << " -> " << t.w << "x" << t.h;
      }
    }
  }
}

TEST_F(FastPathImage, RGB24WideningMatchesThePixelLoopInPlaceAndApart) {
  // The pixel-by-pixel widening, backwards as the converter runs.
  auto reference = [](std::vector<uint8_t> buf, size_t n) {
    for (size_t i = n; i-- > 0;) {
      uint8_t r = buf[i * 3], g = buf[i * 3 + 1], b = buf[i * 3 + 2];
      buf[i * 4] = 0xFF, buf[i * 4 + 1] = r, buf[i * 4 + 2] = g, buf[i * 4 + 3] = b;
    }
    return buf;
  };
  for (int width = 1; width <= 70; ++width) {
    for (int height : {1, 3}) {
      const size_t n = static_cast<size_t>(width) * height;
      std::vector<uint8_t> buf(n * 4);
      for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 37 + width);
      const std::vector<uint8_t> expected = reference(buf, n);
      std::vector<uint8_t> inPlace = buf;
      ConvertRGB24ToARGB32(inPlace.data(), inPlace.data(), width, height);
      EXPECT_EQ(inPlace, expected) << width << "x" << height << " in place";
      // Apart: exactly 3n source bytes, so a read past them shows under the sanitizers.
      std::vector<uint8_t> source(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n * 3));
      std::vector<uint8_t> apart(n * 4, 0);
      ConvertRGB24ToARGB32(source.data(), apart.data(), width, height);
      EXPECT_EQ(apart, expected) << width << "x" << height << " apart";
    }
  }
}

TEST_F(FastPathImage, ResamplePlainRefusesWhatResampleRefuses) {
  ChunkyPtr source(RandomImage(9, 9, RGB24, 1));
  ChunkyPtr destination(chk_Create(4, 4, RGB24, false));
  ASSERT_TRUE(source && destination);
  EXPECT_EQ(ResamplePlain(destination.get(), source.get(), LanczosKernel, 3.0), 1);
  EXPECT_EQ(ResamplePlain(nullptr, source.get(), LanczosKernel, 3.0), 1);
  ChunkyPtr grey(chk_Create(4, 4, GREY8, false));
  EXPECT_EQ(ResamplePlain(grey.get(), source.get(), LanczosKernel, 3.0), 1);
}

// Runs op on a fresh copy of the source with one thread and with several, pieces however
// small, and expects the same bytes.
template <typename Op>
void ExpectSameWithThreads(const ChunkyImage* source, Op op, const std::string& what) {
  ChunkyPtr serialInput(chk_Duplicate(source));
  ChunkyPtr threadedInput(chk_Duplicate(source));
  ASSERT_TRUE(serialInput && threadedInput);
  ChunkyPtr serial, threaded;
  {
    platform::ScopedThreadCount scope(1);
    serial.reset(op(serialInput.get()));
  }
  {
    platform::ScopedThreadCount scope(4, true);
    threaded.reset(op(threadedInput.get()));
  }
  ASSERT_TRUE(serial && threaded) << what;
  EXPECT_TRUE(SameImage(serial.get(), threaded.get())) << what;
}

TEST_F(FastPathImage, QuickScaleMatchesSerialRowsInEveryFormat) {
  const Size targets[] = {{1, 1}, {3, 5}, {50, 29}, {211, 140}};
  for (uint32_t format : {RGB24, RGBA32, ARGB32, GREY8, RGB565, ARGB4444, ALPHA8, WORD16}) {
    for (const Size& s : kSizes) {
      ChunkyPtr source(RandomImage(s.w, s.h, format, static_cast<uint32_t>(s.w + 7 * s.h)));
      ASSERT_TRUE(source);
      for (const Size& t : targets) {
        ExpectSameWithThreads(
            source.get(),
            [&](ChunkyImage* in) {
              QuickScale(in, t.w, t.h);
              return chk_Duplicate(in);
            },
            "QuickScale format " + std::to_string(format) + " " + std::to_string(s.w) + "x" + std::to_string(s.h) +
                " -> " + std::to_string(t.w) + "x" + std::to_string(t.h));
      }
    }
  }
}

TEST_F(FastPathImage, QuarterTurnsMatchSerialStrips) {
  // 200 rows make several strips of 64 with a short last one.
  const Size sizes[] = {{1, 1}, {2, 3}, {97, 61}, {61, 200}, {130, 129}};
  for (uint32_t format : {ARGB32, GREY8}) {
    for (const Size& s : sizes) {
      ChunkyPtr source(RandomImage(s.w, s.h, format, 3));
      ASSERT_TRUE(source);
      const std::string size = std::to_string(s.w) + "x" + std::to_string(s.h);
      ExpectSameWithThreads(
          source.get(), [](ChunkyImage* in) { return RotateClockwise(in); }, "clockwise " + size);
      ExpectSameWithThreads(
          source.get(), [](ChunkyImage* in) { return RotateCounterClockwise(in); }, "counter-clockwise " + size);
      // And the turn itself: a clockwise turn followed by a counter-clockwise one is the picture.
      platform::ScopedThreadCount scope(4, true);
      ChunkyPtr turned(RotateClockwise(source.get()));
      ASSERT_TRUE(turned);
      ChunkyPtr back(RotateCounterClockwise(turned.get()));
      EXPECT_TRUE(SameImage(back.get(), source.get())) << size;
    }
  }
}

TEST_F(FastPathImage, StraightenMatchesSerialRowsForAnglesAndFit) {
  for (const Size& s : kSizes) {
    ChunkyPtr source(RandomImage(s.w, s.h, ARGB32, 11));
    ASSERT_TRUE(source);
    for (float angle : {-44.5f, -3.0f, 0.0f, 0.7f, 12.25f, 45.0f}) {
      for (bool fit : {false, true}) {
        ExpectSameWithThreads(
            source.get(),
            [&](ChunkyImage* in) {
              ChunkyImage* out = chk_Create(in->width, in->height, ARGB32, true);
              if (out) Straighten(in, out, angle, fit);
              return out;
            },
            "straighten " + std::to_string(angle) + (fit ? " fit " : " ") + std::to_string(s.w) + "x" +
                std::to_string(s.h));
      }
    }
  }
}

}  // namespace
}  // namespace vl::image
