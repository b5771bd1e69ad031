#include "filters/sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filters/blur.h"
#include "filters/filter_util.h"
#include "filters/plain_paths.h"
#include "platform/thread_pool.h"

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
bool PlainNeighbourhood(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular,
                         Reduce reduce) {
  if (!ArgbPair(source, destination)) return false;
  const std::vector<uint8_t> mask = NeighbourhoodMask(radius, circular);
  if (mask.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;

  const int width = src->width;
  const int height = src->height;
  // Every output pixel reads the unchanged source alone, so rows are split over the pool,
  // each piece with its own histograms.
  const int64_t rowCost = int64_t{width} * (2 * radius + 1) * (2 * radius + 1);
  platform::ParallelFor(0, height, platform::GrainFor(rowCost), [&](int64_t yBegin, int64_t yEnd) {
    detail::MedianHistogram histograms[4];
    for (int y = static_cast<int>(yBegin); y < static_cast<int>(yEnd); ++y) {
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
  });
  return true;
}

// The fast path keeps one histogram per channel for the neighbourhood of the current pixel
// and slides it along the row: stepping from x - 1 to x, each mask row drops the column
// x - 1 - hw[k] and takes in x + hw[k] (where they lie inside the row). Minimum, maximum and
// median are then one question, the smallest value v whose running count reaches a
// target: 1 for the minimum, the neighbourhood's size for the maximum, count / 2 + 1 for
// the median (the element at index count / 2 of the sorted values, as MedianHistogram
// finds it). The answer moves little from one pixel to the next, so it is searched from
// the previous one, with the number of entries below it kept up to date as values come
// and go.
class SlidingRank {
 public:
  void Clear() {
    std::memset(bins_, 0, sizeof bins_);
    for (int c = 0; c < 4; ++c) level_[c] = below_[c] = 0;
  }

  void Add(const uint8_t* p) {
    for (int c = 0; c < 4; ++c) {
      ++bins_[c][p[c]];
      below_[c] += p[c] < level_[c];
    }
  }

  void Remove(const uint8_t* p) {
    for (int c = 0; c < 4; ++c) {
      --bins_[c][p[c]];
      below_[c] -= p[c] < level_[c];
    }
  }

  // The smallest v with (entries <= v) >= target, for 1 <= target <= entries.
  uint8_t Find(int c, int target) {
    int v = level_[c];
    int below = below_[c];  // entries < v
    const uint16_t* bins = bins_[c];
    while (below >= target) below -= bins[--v];
    while (below + bins[v] < target) below += bins[v++];
    level_[c] = v;
    below_[c] = below;
    return static_cast<uint8_t>(v);
  }

 private:
  uint16_t bins_[4][256];  // at most 15 x 15 entries each
  int level_[4];
  int below_[4];
};

void SlidingRow(const image::ChunkyImage* src, image::ChunkyImage* destination, int y, const std::vector<uint8_t>& mask,
                Reduce reduce, SlidingRank& rank) {
  const int width = src->width;
  const int height = src->height;
  const int radius = static_cast<int>(mask.size() / 2);
  // The mask rows inside the image: their pixels and half-widths.
  const uint8_t* rows[2 * kMaxMaskRadius + 1];
  int hws[2 * kMaxMaskRadius + 1];
  int used = 0;
  for (int k = -radius; k <= radius; ++k) {
    const int yy = y + k;
    if (yy < 0 || yy >= height) continue;
    rows[used] = src->pixels + static_cast<size_t>(yy) * width * 4;
    hws[used] = mask[static_cast<size_t>(k + radius)];
    ++used;
  }
  rank.Clear();
  int count = 0;
  for (int r = 0; r < used; ++r) {
    const int x1 = std::min(width - 1, hws[r]);
    for (int xx = 0; xx <= x1; ++xx) rank.Add(rows[r] + static_cast<size_t>(xx) * 4);
    count += x1 + 1;
  }
  uint8_t* out = destination->pixels + static_cast<size_t>(y) * width * 4;
  for (int x = 0;;) {
    const int target = reduce == Reduce::kMin ? 1 : reduce == Reduce::kMax ? count : count / 2 + 1;
    for (int c = 0; c < 4; ++c) out[static_cast<size_t>(x) * 4 + c] = rank.Find(c, target);
    if (++x == width) break;
    for (int r = 0; r < used; ++r) {
      const int leaving = x - 1 - hws[r];
      const int entering = x + hws[r];
      if (leaving >= 0) {
        rank.Remove(rows[r] + static_cast<size_t>(leaving) * 4);
        --count;
      }
      if (entering < width) {
        rank.Add(rows[r] + static_cast<size_t>(entering) * 4);
        ++count;
      }
    }
  }
}

bool SlidingNeighbourhood(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius,
                          bool circular, Reduce reduce) {
  if (!ArgbPair(source, destination)) return false;
  const std::vector<uint8_t> mask = NeighbourhoodMask(radius, circular);
  if (mask.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;
  // Every output row reads the unchanged source alone, so rows are split over the pool,
  // each piece with its own histograms.
  const int64_t rowCost = int64_t{src->width} * (2 * radius + 1) * 8;
  platform::ParallelFor(0, src->height, platform::GrainFor(rowCost), [&](int64_t y0, int64_t y1) {
    SlidingRank rank;
    for (int64_t y = y0; y < y1; ++y) SlidingRow(src, destination, static_cast<int>(y), mask, reduce, rank);
  });
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
  platform::ParallelFor(0, static_cast<int64_t>(bytes), platform::GrainFor(1), [&](int64_t lo, int64_t hi) {
    for (int64_t i = lo; i < hi; ++i) {
      const int64_t diff = static_cast<int64_t>(s[i]) - d[i];
      d[i] = ClampByte(s[i] + ((diff * k) >> 8));
    }
  });
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
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMin);
}

bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMax);
}

bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMedian);
}

namespace plain {

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMin);
}

bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMax);
}

bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMedian);
}

}  // namespace plain

}  // namespace vl::filters
