#include "image/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>

#include "image/resample.h"
#include "platform/thread_pool.h"

namespace vl::image {

namespace {

bool UsableImage(const ChunkyImage* image) {
  return image && image->pixels && SizeAllowed(image->width, image->height, image->format);
}

inline size_t Offset(int64_t x, int64_t y, int64_t width, int bpp) {
  return static_cast<size_t>((y * width + x) * bpp);
}

inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

ChunkyImage* Rotate(const ChunkyImage* image, bool clockwise) {
  if (!UsableImage(image)) return nullptr;
  const int bpp = BytesPerPixel(image->format);
  if (bpp != 1 && bpp != 4) return nullptr;
  const int64_t w = image->width, h = image->height;
  ChunkyPtr out(chk_Create(image->height, image->width, image->format, false));
  if (!out) return nullptr;
  const uint8_t* src = image->pixels;
  uint8_t* dst = out->pixels;
  // Destination rows are h pixels long: clockwise, source (x, y) goes to (h - 1 - y, x);
  // counter-clockwise to (y, w - 1 - x).
  if (bpp == 4) {
    // Strips of 64 source rows: each source column of a strip fills a run of consecutive
    // pixels of one destination row.
    // Strips write disjoint runs of the destination, so they are split over the pool.
    constexpr int64_t kStrip = 64;
    const int64_t strips = (h + kStrip - 1) / kStrip;
    platform::ParallelFor(0, strips, platform::GrainFor(w * kStrip * 4), [&](int64_t s0, int64_t s1) {
      for (int64_t y0 = s0 * kStrip; y0 < std::min(s1 * kStrip, h); y0 += kStrip) {
        const int64_t y1 = std::min(y0 + kStrip, h);
        for (int64_t x = 0; x < w; ++x) {
          if (clockwise) {
            for (int64_t y = y0; y < y1; ++y)
              std::memcpy(dst + Offset(h - 1 - y, x, h, 4), src + Offset(x, y, w, 4), 4);
          } else {
            for (int64_t y = y0; y < y1; ++y)
              std::memcpy(dst + Offset(y, w - 1 - x, h, 4), src + Offset(x, y, w, 4), 4);
          }
        }
      }
    });
  } else {
    platform::ParallelFor(0, h, platform::GrainFor(w), [&](int64_t yBegin, int64_t yEnd) {
      for (int64_t y = yBegin; y < yEnd; ++y)
        for (int64_t x = 0; x < w; ++x)
          dst[clockwise ? Offset(h - 1 - y, x, h, 1) : Offset(y, w - 1 - x, h, 1)] = src[Offset(x, y, w, 1)];
    });
  }
  return out.release();
}

inline void SwapPixels(uint8_t* a, uint8_t* b, int bpp) {
  for (int i = 0; i < bpp; ++i) std::swap(a[i], b[i]);
}

// Truncation toward zero that stays defined for NaN and huge values.
int64_t TruncToInt64(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2e18) return std::numeric_limits<int64_t>::max() >> 1;
  if (v <= -9.2e18) return std::numeric_limits<int64_t>::min() >> 1;
  return static_cast<int64_t>(v);
}

// Bilinear sample of an ARGB32 source at (sx, sy) in 16.16 fixed point with the factor
// 65535, 8-bit weights and two channels per multiplication. Taps beyond the image (only
// reachable when the caller made no position test) are held at the nearest edge.
uint32_t Sample(const ChunkyImage& src, float sx, float sy) {
  int64_t fx = TruncToInt64(static_cast<double>(sx) * 65535.0);
  int64_t fy = TruncToInt64(static_cast<double>(sy) * 65535.0);
  if (fx < 0) fx = 0;
  if (fy < 0) fy = 0;
  const int64_t lastX = src.width - 1, lastY = src.height - 1;
  const int64_t col = fx >> 16, row = fy >> 16;
  const int64_t c0 = std::min(col, lastX), c1 = std::min(col + 1, lastX);
  const int64_t r0 = std::min(row, lastY), r1 = std::min(row + 1, lastY);
  const uint32_t u = static_cast<uint32_t>(fx & 0xFFFF), v = static_cast<uint32_t>(fy & 0xFFFF);
  const uint32_t w00 = ((0xFFFFu - u) * (0xFFFFu - v)) >> 24;
  const uint32_t w01 = (u * (0xFFFFu - v)) >> 24;
  const uint32_t w10 = ((0xFFFFu - u) * v) >> 24;
  const uint32_t w11 = 256u - w00 - w01 - w10;
  const uint32_t p00 = Load32(src.pixels + Offset(c0, r0, src.width, 4));
  const uint32_t p01 = Load32(src.pixels + Offset(c1, r0, src.width, 4));
  const uint32_t p10 = Load32(src.pixels + Offset(c0, r1, src.width, 4));
  const uint32_t p11 = Load32(src.pixels + Offset(c1, r1, src.width, 4));
  constexpr uint32_t kLanes = 0x00FF00FFu;
  const uint32_t low =
      (((p00 & kLanes) * w00 + (p01 & kLanes) * w01 + (p10 & kLanes) * w10 + (p11 & kLanes) * w11) >> 8) & kLanes;
  const uint32_t high = (((p00 >> 8) & kLanes) * w00 + ((p01 >> 8) & kLanes) * w01 + ((p10 >> 8) & kLanes) * w10 +
                         ((p11 >> 8) & kLanes) * w11) &
                        ~kLanes;
  return high | low;
}

// The scale that keeps the rotated picture free of empty corners.
float FitScale(int32_t width, int32_t height, float hw, float hh, float angleDegrees) {
  const float r = angleDegrees * (1.0f / 180.0f) * std::numbers::pi_v<float>;
  const float c = std::cos(r), s = std::sin(r);
  const float xs[4] = {-hw, hw, hw, -hw};
  const float ys[4] = {-hh, -hh, hh, hh};
  float minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    const float x = xs[i] * c + ys[i] * s;
    const float y = ys[i] * c - xs[i] * s;
    if (i == 0 || x < minX) minX = x;
    if (i == 0 || x > maxX) maxX = x;
    if (i == 0 || y < minY) minY = y;
    if (i == 0 || y > maxY) maxY = y;
  }
  const float boxW = maxX - minX + 1.0f;
  const float boxH = maxY - minY + 1.0f;
  float scale = 1.0f;
  if (static_cast<float>(height) < boxH) scale = static_cast<float>(height) / boxH;
  if (static_cast<float>(width) * scale < boxW) scale = (static_cast<float>(width) * scale) / boxW;
  return scale;
}

}  // namespace

void ReportRotationFailure() {
  std::fputs(kRotationFailedMessage, stdout);
}

ChunkyImage* RotateClockwise(const ChunkyImage* image) {
  return Rotate(image, true);
}

ChunkyImage* RotateCounterClockwise(const ChunkyImage* image) {
  return Rotate(image, false);
}

void FlipHorizontal(ChunkyImage* image) {
  if (!UsableImage(image)) return;
  const int bpp = BytesPerPixel(image->format);
  const int64_t w = image->width;
  for (int64_t y = 0; y < image->height; ++y) {
    uint8_t* row = image->pixels + Offset(0, y, w, bpp);
    for (int64_t x = 0; x < w / 2; ++x) SwapPixels(row + x * bpp, row + (w - 1 - x) * bpp, bpp);
  }
}

void FlipVertical(ChunkyImage* image) {
  if (!UsableImage(image)) return;
  const int bpp = BytesPerPixel(image->format);
  const int64_t w = image->width, h = image->height;
  const size_t rowBytes = static_cast<size_t>(w) * bpp;
  for (int64_t y = 0; y < h / 2; ++y) {
    uint8_t* top = image->pixels + Offset(0, y, w, bpp);
    uint8_t* bottom = image->pixels + Offset(0, h - 1 - y, w, bpp);
    std::swap_ranges(top, top + rowBytes, bottom);
  }
}

Texture* CropRegion(const Texture* texture, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!texture || !UsableImage(texture->chunky)) return nullptr;
  const ChunkyImage* src = texture->chunky;
  if (x < 0 || y < 0 || width <= 0 || height <= 0) return nullptr;
  if (int64_t{x} + width > src->width || int64_t{y} + height > src->height) return nullptr;
  if (src->format != ARGB32 && !PixelAccessSupported(src->format)) return nullptr;
  Texture* out = CreateTexture(width, height, src->format);
  if (!out) return nullptr;
  ChunkyImage* dst = out->chunky;
  if (src->format == ARGB32) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int32_t j = 0; j < height; ++j)
      std::memcpy(dst->pixels + Offset(0, j, width, 4), src->pixels + Offset(x, int64_t{y} + j, src->width, 4),
                  rowBytes);
  } else {
    for (int32_t j = 0; j < height; ++j) {
      for (int32_t i = 0; i < width; ++i) {
        uint8_t a = 0, r = 0, g = 0, b = 0;
        GetPixel(src, x + i, y + j, a, r, g, b);
        SetPixel(dst, i, j, a, r, g, b);
      }
    }
  }
  return out;
}

CropRect FindCropBorders(const ChunkyImage* image, int tolerance) {
  if (!UsableImage(image)) return {0, 0, 0, 0};
  const int32_t w = image->width, h = image->height;
  if (!PixelAccessSupported(image->format)) return {0, 0, w, h};
  uint8_t ra = 0, rr = 0, rg = 0, rb = 0;
  GetPixel(image, 0, 0, ra, rr, rg, rb);
  const int64_t limit = int64_t{tolerance} * tolerance;
  auto differs = [&](int32_t x, int32_t y) {
    uint8_t a = 0, r = 0, g = 0, b = 0;
    GetPixel(image, x, y, a, r, g, b);
    const int64_t da = a - ra, dr = r - rr, dg = g - rg, db = b - rb;
    return da * da + dr * dr + dg * dg + db * db > limit;
  };
  auto columnDiffers = [&](int32_t x) {
    for (int32_t y = 0; y < h; ++y)
      if (differs(x, y)) return true;
    return false;
  };
  auto rowDiffers = [&](int32_t y) {
    for (int32_t x = 0; x < w; ++x)
      if (differs(x, y)) return true;
    return false;
  };

  int32_t left = w - 1;
  for (int32_t x = 0; x <= w - 2; ++x) {
    if (columnDiffers(x)) {
      left = x;
      break;
    }
  }
  int32_t right = left;
  for (int32_t x = w - 1; x >= left + 1; --x) {
    if (columnDiffers(x)) {
      right = x;
      break;
    }
  }
  int32_t top = h - 1;
  for (int32_t y = 0; y <= h - 2; ++y) {
    if (rowDiffers(y)) {
      top = y;
      break;
    }
  }
  int32_t bottom = top;
  for (int32_t y = h - 1; y >= top + 1; --y) {
    if (rowDiffers(y)) {
      bottom = y;
      break;
    }
  }
  return {left, top, right - left + 1, bottom - top + 1};
}

void Straighten(const ChunkyImage* source, ChunkyImage* destination, float angleDegrees, bool scaleToFit) {
  if (!UsableImage(source) || !UsableImage(destination)) return;
  if (BytesPerPixel(source->format) != 4 || destination->format != source->format) return;
  if (destination->width != source->width || destination->height != source->height) return;
  if (destination->pixels == source->pixels) return;
  const int32_t w = source->width, h = source->height;
  const float hw = static_cast<float>(w) * 0.5f;
  const float hh = static_cast<float>(h) * 0.5f;
  const float scale = scaleToFit ? FitScale(w, h, hw, hh, angleDegrees) : 1.0f;
  const double r = static_cast<double>(angleDegrees) * 0.017453292519943295;
  const float a = static_cast<float>(std::cos(r) * static_cast<double>(scale));
  const float b = static_cast<float>(std::sin(r) * static_cast<double>(scale));
  const float limitX = static_cast<float>(w - 1), limitY = static_cast<float>(h - 1);

  // Each row's start depends on y alone, so rows are split over the pool.
  platform::ParallelFor(0, h, platform::GrainFor(int64_t{w} * 8), [&](int64_t yBegin, int64_t yEnd) {
    uint8_t* out = destination->pixels + static_cast<size_t>(yBegin) * w * 4;
    for (int32_t y = static_cast<int32_t>(yBegin); y < static_cast<int32_t>(yEnd); ++y) {
      const float dy = static_cast<float>(y) - hh;
      // Source position of destination pixel (0, y); each step right adds a to sx and takes b
      // from sy.
      float sx = -hw * a + dy * b + hw;
      float sy = dy * a - -hw * b + hh;
      for (int32_t x = 0; x < w; ++x, out += 4) {
        uint32_t value = 0;
        if (scaleToFit || (sx >= 0.0f && sx < limitX && sy >= 0.0f && sy < limitY)) value = Sample(*source, sx, sy);
        Store32(out, value);
        sx += a;
        sy -= b;
      }
    }
  });
}

}  // namespace vl::image
