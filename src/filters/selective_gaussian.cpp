#include "filters/selective_gaussian.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "filters/filter_util.h"
#include "filters/selective_util.h"

namespace vl::filters {

using detail::ClampByte;
using detail::SelectiveArgs;
using detail::SelectiveKey;

SelectiveKernel SelectiveGaussianKernel(float radius) {
  SelectiveKernel kernel;
  if (!std::isfinite(radius) || std::fabs(radius) > kMaxSelectiveRadius) return kernel;
  const float r = std::fabs(2.0f * radius + 1.0f) + 1.0f;
  const int n = static_cast<int>(r + 1.0f);
  const float sigma = r * 0.3003866304256165f;
  const float norm = 1.0f / std::sqrt(sigma * 2.0f * static_cast<float>(M_PI));
  const float denominator = -2.0f * sigma * sigma;
  kernel.n = n;
  kernel.weights.resize(static_cast<size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const float q = static_cast<float>(i * i + j * j) / denominator;
      kernel.weights[static_cast<size_t>(i) * n + j] =
          static_cast<int32_t>(static_cast<double>(norm) * std::exp(static_cast<double>(q)) * 10000.0);
    }
  return kernel;
}

bool SelectiveGaussian(const image::ChunkyImage* source, image::ChunkyImage* destination, float radius, int threshold,
                       AlphaMode mode) {
  if (!SelectiveArgs(source, destination, mode)) return false;
  const SelectiveKernel kernel = SelectiveGaussianKernel(radius);
  if (kernel.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;

  const int width = src->width;
  const int height = src->height;
  const int reach = kernel.n - 1;
  const int64_t limit = 3 * static_cast<int64_t>(threshold);
  // Mode 3 averages bytes 1..3, mode 1 byte 0; the other bytes are copied.
  const int first = mode == kAlphaOnly ? 0 : 1;
  const int last = mode == kAlphaOnly ? 0 : 3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* centre = src->pixels + (static_cast<size_t>(y) * width + x) * 4;
      uint8_t* out = destination->pixels + (static_cast<size_t>(y) * width + x) * 4;
      const int key = SelectiveKey(centre, mode);
      int64_t sums[4] = {0, 0, 0, 0};
      int64_t wsum = 0;
      const int y0 = std::max(0, y - reach), y1 = std::min(height - 1, y + reach);
      const int x0 = std::max(0, x - reach), x1 = std::min(width - 1, x + reach);
      for (int yy = y0; yy <= y1; ++yy) {
        const uint8_t* row = src->pixels + static_cast<size_t>(yy) * width * 4;
        for (int xx = x0; xx <= x1; ++xx) {
          const uint8_t* p = row + static_cast<size_t>(xx) * 4;
          if (std::abs(key - SelectiveKey(p, mode)) >= limit) continue;
          const int64_t w = kernel.at(std::abs(yy - y), std::abs(xx - x));
          for (int c = first; c <= last; ++c) sums[c] += w * p[c];
          wsum += w;
        }
      }
      std::memcpy(out, centre, 4);
      if (wsum > 0)
        for (int c = first; c <= last; ++c) out[c] = ClampByte(sums[c] / wsum);
    }
  }
  return true;
}

}  // namespace vl::filters
