#include "filters/selective_median.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "filters/filter_util.h"
#include "filters/selective_util.h"

namespace vl::filters {

using detail::SelectiveArgs;
using detail::SelectiveKey;

bool SelectiveMedian(const image::ChunkyImage* source, image::ChunkyImage* destination, int size, int threshold,
                     AlphaMode mode) {
  if (!SelectiveArgs(source, destination, mode)) return false;
  if (size < 1 || size > kMaxSelectiveMedianSize) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;

  const int width = src->width;
  const int height = src->height;
  const int reach = size - 1;
  const int64_t limit = 3 * static_cast<int64_t>(threshold);
  const int first = mode == kAlphaOnly ? 0 : 1;
  const int last = mode == kAlphaOnly ? 0 : 3;
  detail::MedianHistogram histograms[4];
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* centre = src->pixels + (static_cast<size_t>(y) * width + x) * 4;
      uint8_t* out = destination->pixels + (static_cast<size_t>(y) * width + x) * 4;
      const int key = SelectiveKey(centre, mode);
      int count = 0;
      const int y0 = std::max(0, y - reach), y1 = std::min(height - 1, y + reach);
      const int x0 = std::max(0, x - reach), x1 = std::min(width - 1, x + reach);
      for (int yy = y0; yy <= y1; ++yy) {
        const uint8_t* row = src->pixels + static_cast<size_t>(yy) * width * 4;
        for (int xx = x0; xx <= x1; ++xx) {
          const uint8_t* p = row + static_cast<size_t>(xx) * 4;
          if (std::abs(key - SelectiveKey(p, mode)) >= limit) continue;
          for (int c = first; c <= last; ++c) histograms[c].Add(p[c]);
          ++count;
        }
      }
      std::memcpy(out, centre, 4);
      // With no neighbour taking part (threshold 0) the pixel is copied.
      if (count > 0)
        for (int c = first; c <= last; ++c) out[c] = histograms[c].TakeMedian(count);
    }
  }
  return true;
}

}  // namespace vl::filters
