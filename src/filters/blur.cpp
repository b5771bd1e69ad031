#include "filters/blur.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "filters/alpha_mode.h"
#include "filters/filter_util.h"

namespace vl::filters {

namespace {

using detail::ClampByte;
using detail::SameShape;
using detail::Usable;

// Running-sum average of one line of n pixels of `channels` bytes each. Element i of the
// line is at in + i * step (bytes); results go to out + i * step.
void BoxLine(const uint8_t* in, uint8_t* out, int n, size_t step, int channels, int radius) {
  uint64_t sums[4] = {0, 0, 0, 0};
  const int firstEnd = std::min(radius, n - 1);
  for (int i = 0; i <= firstEnd; ++i)
    for (int c = 0; c < channels; ++c) sums[c] += in[i * step + c];
  for (int x = 0; x < n; ++x) {
    const int lo = std::max(x - radius, 0);
    const int hi = std::min(x + radius, n - 1);
    const uint64_t count = static_cast<uint64_t>(hi - lo + 1);
    const uint64_t inv = 65536 / count;
    for (int c = 0; c < channels; ++c) out[x * step + c] = static_cast<uint8_t>((sums[c] * inv) >> 16);
    if (x - radius >= 0)
      for (int c = 0; c < channels; ++c) sums[c] -= in[(x - radius) * step + c];
    if (x + radius + 1 <= n - 1)
      for (int c = 0; c < channels; ++c) sums[c] += in[(x + radius + 1) * step + c];
  }
}

// Vertical box pass, temporary -> destination, in strips of up to 32 adjacent columns, so
// each step reads one contiguous piece of a row for the whole strip.
void BoxColumns(const uint8_t* in, uint8_t* out, int width, int height, int bpp, int radius) {
  constexpr int kStrip = 32;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  uint64_t sums[kStrip * 4];
  for (int x0 = 0; x0 < width; x0 += kStrip) {
    const int cols = std::min(kStrip, width - x0);
    const int bytes = cols * bpp;
    const size_t offset = static_cast<size_t>(x0) * bpp;
    std::fill(sums, sums + bytes, uint64_t{0});
    const int firstEnd = std::min(radius, height - 1);
    for (int y = 0; y <= firstEnd; ++y) {
      const uint8_t* row = in + y * rowBytes + offset;
      for (int b = 0; b < bytes; ++b) sums[b] += row[b];
    }
    for (int y = 0; y < height; ++y) {
      const int lo = std::max(y - radius, 0);
      const int hi = std::min(y + radius, height - 1);
      const uint64_t inv = 65536 / static_cast<uint64_t>(hi - lo + 1);
      uint8_t* dst = out + y * rowBytes + offset;
      for (int b = 0; b < bytes; ++b) dst[b] = static_cast<uint8_t>((sums[b] * inv) >> 16);
      if (y - radius >= 0) {
        const uint8_t* row = in + (y - radius) * rowBytes + offset;
        for (int b = 0; b < bytes; ++b) sums[b] -= row[b];
      }
      if (y + radius + 1 <= height - 1) {
        const uint8_t* row = in + (y + radius + 1) * rowBytes + offset;
        for (int b = 0; b < bytes; ++b) sums[b] += row[b];
      }
    }
  }
}

// Which bytes of a pixel the mode selects: alpha is byte 0 of ARGB32.
bool SelectsByte(int mode, int byte) {
  switch (mode) {
    case kAlphaOnly: return byte == 0;
    case kColourOnly: return byte != 0;
    case kColourAndAlpha: return true;
    default: return false;
  }
}

// One Gaussian line: line holds the n pixels (bpp bytes each, contiguous); results go to
// out + i * step for positions 0 .. n - 2; the last pixel is left as it is.
void GaussianLine(const uint8_t* line, uint8_t* out, size_t step, int n, int bpp, const bool* selected,
                  const GaussianLineKernel& kernel, int64_t wsum) {
  for (int i = 0; i + 1 < n; ++i) {
    for (int c = 0; c < bpp; ++c) {
      if (!selected[c]) continue;
      int64_t sum = 0;
      for (int k = -kernel.length; k <= kernel.length; ++k) {
        const int p = std::clamp(i + k, 0, n - 1);
        sum += static_cast<int64_t>(kernel.at(k)) * line[static_cast<size_t>(p) * bpp + c];
      }
      out[i * step + c] = static_cast<uint8_t>(sum / wsum);
    }
  }
}

}  // namespace

bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY) {
  if (!SameShape(source, destination)) return false;
  const int bpp = image::BytesPerPixel(source);
  if (bpp != 1 && bpp != 4) return false;
  const int width = source->width;
  const int height = source->height;
  radiusX = std::clamp(radiusX, 0, width - 1);
  radiusY = std::clamp(radiusY, 0, height - 1);

  image::ChunkyPtr temp(image::chk_Create(width, height, source->format, false));
  if (!temp) {
    std::fputs("[Blur]: Failed to allocate temp memory buffer\n", stdout);
    std::fflush(stdout);
    return false;
  }
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  const size_t total = rowBytes * height;

  if (radiusX == 0) {
    std::memcpy(temp->pixels, source->pixels, total);
  } else {
    for (int y = 0; y < height; ++y)
      BoxLine(source->pixels + y * rowBytes, temp->pixels + y * rowBytes, width, bpp, bpp, radiusX);
  }
  if (radiusY == 0) {
    std::memcpy(destination->pixels, temp->pixels, total);
  } else {
    BoxColumns(temp->pixels, destination->pixels, width, height, bpp, radiusY);
  }
  return true;
}

GaussianLineKernel GaussianKernel(float radius) {
  GaussianLineKernel kernel;
  if (!std::isfinite(radius) || std::fabs(radius) > kMaxGaussianRadius) return kernel;
  // r, p, sigma and s2 are single-precision values; the logarithms and roots are taken in
  // double and rounded where they are stored.
  const float r = std::fabs(2.0f * radius + 1.0f) + 1.0f;
  const float p = 1.0f / 255.0f;
  const float sigma =
      static_cast<float>(std::sqrt(-static_cast<double>(r * r) / (2.0 * std::log(static_cast<double>(p)))));
  const float s2 = 2.0f * sigma * sigma;
  const double l = std::sqrt(-static_cast<double>(s2) * std::log(1.0 / 255.0));
  const int n = static_cast<int>(2.0 * std::ceil(l)) | 1;
  kernel.length = n / 2;
  kernel.weights.assign(static_cast<size_t>(2 * kernel.length + 1), 0);
  kernel.weights[static_cast<size_t>(kernel.length)] = 10000;
  for (int i = 1; i <= kernel.length; ++i) {
    const float q = static_cast<float>(-(i * i)) / s2;
    const auto w = static_cast<int32_t>(std::exp(static_cast<double>(q)) * 10000.0);
    kernel.weights[static_cast<size_t>(kernel.length + i)] = w;
    kernel.weights[static_cast<size_t>(kernel.length - i)] = w;
  }
  return kernel;
}

bool GaussianBlur(image::ChunkyImage* image, float radius, int mode) {
  if (!Usable(image) || !IsAlphaMode(mode)) return false;
  const int bpp = image::BytesPerPixel(image);
  bool selected[4] = {true, false, false, false};
  if (bpp == 4) {
    if (image->format != image::ARGB32) return false;
    for (int c = 0; c < 4; ++c) selected[c] = SelectsByte(mode, c);
  } else if (bpp != 1) {
    return false;
  }
  const GaussianLineKernel kernel = GaussianKernel(radius);
  if (kernel.empty()) return false;
  int64_t wsum = 0;
  for (int32_t w : kernel.weights) wsum += w;

  const int width = image->width;
  const int height = image->height;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  std::vector<uint8_t> line;
  try {
    line.resize(static_cast<size_t>(std::max(width, height)) * bpp);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->pixels + y * rowBytes;
    std::memcpy(line.data(), row, rowBytes);
    GaussianLine(line.data(), row, bpp, width, bpp, selected, kernel, wsum);
  }
  for (int x = 0; x < width; ++x) {
    uint8_t* column = image->pixels + static_cast<size_t>(x) * bpp;
    for (int y = 0; y < height; ++y) std::memcpy(&line[static_cast<size_t>(y) * bpp], column + y * rowBytes, bpp);
    GaussianLine(line.data(), column, rowBytes, height, bpp, selected, kernel, wsum);
  }
  return true;
}

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

namespace {

// The value a selective filter compares: R + G + B for mode 3, alpha for mode 1.
inline int SelectiveKey(const uint8_t* p, int mode) {
  return mode == kAlphaOnly ? p[0] : p[1] + p[2] + p[3];
}

bool SelectiveArgs(const image::ChunkyImage* source, const image::ChunkyImage* destination, int mode) {
  return SameShape(source, destination) && source->format == image::ARGB32 &&
         (mode == kColourOnly || mode == kAlphaOnly);
}

}  // namespace

bool SelectiveGaussian(const image::ChunkyImage* source, image::ChunkyImage* destination, int threshold, int mode,
                       float radius) {
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

bool SelectiveMedian(const image::ChunkyImage* source, image::ChunkyImage* destination, int size, int threshold,
                     int mode) {
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
