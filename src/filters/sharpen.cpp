#include "filters/sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "filters/box_blur.h"
#include "filters/filter_util.h"
#include "filters/plain_paths.h"
#include "filters/vector_clones.h"
#include "platform/thread_pool.h"

namespace vl::filters {

namespace {

using detail::ArgbPair;
using detail::ClampByte;

// The sharpening pass over bytes: 64-bit products on the plain path; on the fast one
// 32-bit, which hold them exactly (|s - b| <= 255 and |k| <= 65536 keep |(s - b) * k|
// below 2^24) and let the compiler vectorise the loop. The shift of a negative product
// rounds down either way.
VL_VECTOR_CLONES void SharpenBytes(const uint8_t* __restrict s, uint8_t* __restrict d, int64_t count, int32_t k) {
  for (int64_t i = 0; i < count; ++i) {
    const int32_t diff = static_cast<int32_t>(s[i]) - d[i];
    const int32_t v = s[i] + ((diff * k) >> 8);
    d[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

bool RunSharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength,
                bool plainPath) {
  if (!ArgbPair(source, destination) || !std::isfinite(strength)) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;
  if (!(plainPath ? plain::BoxBlur(src, destination, maskSize, maskSize)
                  : BoxBlur(src, destination, maskSize, maskSize)))
    return false;

  // Beyond |k| = 65536 every non-zero difference already saturates, so limiting k keeps
  // the products in range without changing any result.
  const double scaled = std::clamp(strength * 255.0, -65536.0, 65536.0);
  const auto k = static_cast<int64_t>(scaled);
  const size_t bytes = detail::PixelCount(src) * 4;
  const uint8_t* s = src->pixels;
  uint8_t* d = destination->pixels;
  platform::ParallelFor(0, static_cast<int64_t>(bytes), platform::GrainFor(1), [&](int64_t lo, int64_t hi) {
    if (!plainPath) {
      SharpenBytes(s + lo, d + lo, hi - lo, static_cast<int32_t>(k));
      return;
    }
    for (int64_t i = lo; i < hi; ++i) {
      const int64_t diff = static_cast<int64_t>(s[i]) - d[i];
      d[i] = ClampByte(s[i] + ((diff * k) >> 8));
    }
  });
  return true;
}

}  // namespace

bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength) {
  return RunSharpen(source, destination, maskSize, strength, false);
}

namespace plain {

bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength) {
  return RunSharpen(source, destination, maskSize, strength, true);
}

}  // namespace plain

}  // namespace vl::filters
