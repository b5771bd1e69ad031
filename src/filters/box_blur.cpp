#include "filters/box_blur.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "filters/filter_util.h"
#include "filters/plain_paths.h"
#include "filters/vector_clones.h"
#include "platform/thread_pool.h"

namespace vl::filters {

namespace {

using detail::SameShape;

// Running-sum average of one line of n pixels of `channels` bytes each. Element i of the
// line is at in + i * step (bytes); results go to out + i * step.
void PlainBoxLine(const uint8_t* in, uint8_t* out, int n, size_t step, int channels, int radius) {
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
// Columns xBegin .. xEnd - 1 are done; xBegin is a multiple of kBoxStrip.
constexpr int kBoxStrip = 32;
void PlainBoxColumns(const uint8_t* in, uint8_t* out, int width, int height, int bpp, int radius, int xBegin,
                     int xEnd) {
  constexpr int kStrip = kBoxStrip;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  uint64_t sums[kStrip * 4];
  for (int x0 = xBegin; x0 < xEnd; x0 += kStrip) {
    const int cols = std::min(kStrip, xEnd - x0);
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

// The same two passes with sums of type Sum: uint32_t whenever 255 * (2 * radius + 1) fits,
// which keeps every product sum * inv below 255 * 65536 as well, so the results are those
// of the 64-bit sums. The reciprocal is recomputed only where the window's count changes
// (near the ends of a line); everywhere else it is the same 65536 / (2 * radius + 1).
template <typename Sum>
void FastBoxLine(const uint8_t* in, uint8_t* out, int n, int channels, int radius) {
  Sum sums[4] = {0, 0, 0, 0};
  const int firstEnd = std::min(radius, n - 1);
  for (int i = 0; i <= firstEnd; ++i)
    for (int c = 0; c < channels; ++c) sums[c] += in[i * channels + c];
  int lastCount = 0;
  Sum inv = 0;
  for (int x = 0; x < n; ++x) {
    const int count = std::min(x + radius, n - 1) - std::max(x - radius, 0) + 1;
    if (count != lastCount) {
      inv = static_cast<Sum>(65536 / count);
      lastCount = count;
    }
    for (int c = 0; c < channels; ++c) out[x * channels + c] = static_cast<uint8_t>((sums[c] * inv) >> 16);
    if (x - radius >= 0)
      for (int c = 0; c < channels; ++c) sums[c] -= in[(x - radius) * channels + c];
    if (x + radius + 1 <= n - 1)
      for (int c = 0; c < channels; ++c) sums[c] += in[(x + radius + 1) * channels + c];
  }
}

template <typename Sum>
VL_VECTOR_CLONES void FastBoxColumns(const uint8_t* in, uint8_t* out, int width, int height, int bpp, int radius,
                                     int xBegin, int xEnd) {
  constexpr int kStrip = kBoxStrip;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  Sum sums[kStrip * 4];
  for (int x0 = xBegin; x0 < xEnd; x0 += kStrip) {
    const int cols = std::min(kStrip, xEnd - x0);
    const int bytes = cols * bpp;
    const size_t offset = static_cast<size_t>(x0) * bpp;
    std::fill(sums, sums + bytes, Sum{0});
    const int firstEnd = std::min(radius, height - 1);
    for (int y = 0; y <= firstEnd; ++y) {
      const uint8_t* row = in + y * rowBytes + offset;
      for (int b = 0; b < bytes; ++b) sums[b] += row[b];
    }
    for (int y = 0; y < height; ++y) {
      const int lo = std::max(y - radius, 0);
      const int hi = std::min(y + radius, height - 1);
      const Sum inv = static_cast<Sum>(65536 / (hi - lo + 1));
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

// Whether 255 * (2 * radius + 1) fits 32 bits.
bool SmallBoxRadius(int radius) {
  return 255 * (2 * int64_t{radius} + 1) <= int64_t{UINT32_MAX};
}

bool RunBoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY,
                bool plainPath) {
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

  // Rows, then strips of columns, are independent: both passes are split over the pool.
  if (radiusX == 0) {
    std::memcpy(temp->pixels, source->pixels, total);
  } else {
    platform::ParallelFor(0, height, platform::GrainFor(static_cast<int64_t>(rowBytes)), [&](int64_t y0, int64_t y1) {
      for (int64_t y = y0; y < y1; ++y)
        if (plainPath)
          PlainBoxLine(source->pixels + y * rowBytes, temp->pixels + y * rowBytes, width, bpp, bpp, radiusX);
        else if (SmallBoxRadius(radiusX))
          FastBoxLine<uint32_t>(source->pixels + y * rowBytes, temp->pixels + y * rowBytes, width, bpp, radiusX);
        else
          FastBoxLine<uint64_t>(source->pixels + y * rowBytes, temp->pixels + y * rowBytes, width, bpp, radiusX);
    });
  }
  if (radiusY == 0) {
    std::memcpy(destination->pixels, temp->pixels, total);
  } else {
    const int strips = (width + kBoxStrip - 1) / kBoxStrip;
    platform::ParallelFor(
        0, strips, platform::GrainFor(int64_t{height} * kBoxStrip * bpp), [&](int64_t s0, int64_t s1) {
          const int x0 = static_cast<int>(s0) * kBoxStrip;
          const int x1 = std::min(width, static_cast<int>(s1) * kBoxStrip);
          if (plainPath)
            PlainBoxColumns(temp->pixels, destination->pixels, width, height, bpp, radiusY, x0, x1);
          else if (SmallBoxRadius(radiusY))
            FastBoxColumns<uint32_t>(temp->pixels, destination->pixels, width, height, bpp, radiusY, x0, x1);
          else
            FastBoxColumns<uint64_t>(temp->pixels, destination->pixels, width, height, bpp, radiusY, x0, x1);
        });
  }
  return true;
}

}  // namespace

bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY) {
  return RunBoxBlur(source, destination, radiusX, radiusY, false);
}

namespace plain {

bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY) {
  return RunBoxBlur(source, destination, radiusX, radiusY, true);
}

}  // namespace plain

}  // namespace vl::filters
