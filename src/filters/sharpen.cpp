#include "filters/sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filters/blur.h"
#include "filters/filter_util.h"

namespace vl::filters {

namespace {

using detail::ClampByte;
using detail::SameShape;

bool ArgbPair(const image::ChunkyImage* source, const image::ChunkyImage* destination) {
  return SameShape(source, destination) && source->format == image::ARGB32;
}

enum class Reduce { kMin, kMax, kMedian };

// Shared walk of the mask rows: for each destination pixel, every row offset k inside the
// image contributes the columns x - hw[k] .. x + hw[k] clipped to the row.
bool NeighbourhoodFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular,
                         Reduce reduce) {
  if (!ArgbPair(source, destination)) return false;
  const std::vector<uint8_t> mask = NeighbourhoodMask(radius, circular);
  if (mask.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;

  const int width = src->width;
  const int height = src->height;
  detail::MedianHistogram histograms[4];
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int lowest[4] = {255, 255, 255, 255};
      int highest[4] = {0, 0, 0, 0};
      int count = 0;
      for (int k = -radius; k <= radius; ++k) {
        const int yy = y + k;
        if (yy < 0 || yy >= height) continue;
        const int hw = mask[static_cast<size_t>(k + radius)];
        const int x0 = std::max(0, x - hw);
        const int x1 = std::min(width - 1, x + hw);
        const uint8_t* row = src->pixels + static_cast<size_t>(yy) * width * 4;
        for (int xx = x0; xx <= x1; ++xx) {
          const uint8_t* p = row + static_cast<size_t>(xx) * 4;
          for (int c = 0; c < 4; ++c) {
            switch (reduce) {
              case Reduce::kMin: lowest[c] = std::min<int>(lowest[c], p[c]); break;
              case Reduce::kMax: highest[c] = std::max<int>(highest[c], p[c]); break;
              case Reduce::kMedian: histograms[c].Add(p[c]); break;
            }
          }
          ++count;
        }
      }
      uint8_t* out = destination->pixels + (static_cast<size_t>(y) * width + x) * 4;
      for (int c = 0; c < 4; ++c) {
        switch (reduce) {
          case Reduce::kMin: out[c] = static_cast<uint8_t>(lowest[c]); break;
          case Reduce::kMax: out[c] = static_cast<uint8_t>(highest[c]); break;
          case Reduce::kMedian: out[c] = histograms[c].TakeMedian(count); break;
        }
      }
    }
  }
  return true;
}

}  // namespace

bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength) {
  if (!ArgbPair(source, destination) || !std::isfinite(strength)) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;
  if (!BoxBlur(src, destination, maskSize, maskSize)) return false;

  // Beyond |k| = 65536 every non-zero difference already saturates, so limiting k keeps
  // the products in range without changing any result.
  const double scaled = std::clamp(strength * 255.0, -65536.0, 65536.0);
  const auto k = static_cast<int64_t>(scaled);
  const size_t bytes = detail::PixelCount(src) * 4;
  const uint8_t* s = src->pixels;
  uint8_t* d = destination->pixels;
  for (size_t i = 0; i < bytes; ++i) {
    const int64_t diff = static_cast<int64_t>(s[i]) - d[i];
    d[i] = ClampByte(s[i] + ((diff * k) >> 8));
  }
  return true;
}

std::vector<uint8_t> NeighbourhoodMask(int radius, bool circular) {
  std::vector<uint8_t> hw;
  if (radius < 0 || radius > kMaxMaskRadius) return hw;
  hw.assign(static_cast<size_t>(2 * radius + 1), static_cast<uint8_t>(radius));
  if (!circular || radius == 0) return hw;
  const float r = static_cast<float>(radius);
  const float inv = 1.0f / r;
  const float halfPi = static_cast<float>(M_PI / 2.0);
  for (int k = -radius; k <= radius; ++k) {
    const float angle = (static_cast<float>(k) * inv) * halfPi;
    const float w = r * std::cos(angle) + 0.5f;
    hw[static_cast<size_t>(k + radius)] = static_cast<uint8_t>(std::max(0, static_cast<int>(w)));
  }
  return hw;
}

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return NeighbourhoodFilter(source, destination, radius, circular, Reduce::kMin);
}

bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return NeighbourhoodFilter(source, destination, radius, circular, Reduce::kMax);
}

bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return NeighbourhoodFilter(source, destination, radius, circular, Reduce::kMedian);
}

}  // namespace vl::filters
