#include "filters/tone.h"

#include <algorithm>
#include <cmath>

#include "filters/alpha_mode.h"
#include "filters/filter_util.h"
#include "platform/thread_pool.h"

namespace vl::filters {

namespace {

using detail::SameShape;
using detail::UsableARGB;

bool ArgbPair(const image::ChunkyImage* source, const image::ChunkyImage* destination) {
  return SameShape(source, destination) && source->format == image::ARGB32;
}

// Factors turned into 8-bit fixed point (x 256), limited so that the products stay in
// range; every factor past the limit already saturates every entry.
int64_t Fixed8(double factor) {
  return static_cast<int64_t>(std::clamp(factor * 256.0, -16777216.0, 16777216.0));
}

// Pixels are mapped one by one, so the picture is split into pieces of pixels over the pool;
// fn(s, d, n) maps n pixels from s to d.
template <typename Fn>
void ForEachPixelRun(const image::ChunkyImage* source, image::ChunkyImage* destination, Fn fn) {
  const size_t count = detail::PixelCount(source);
  platform::ParallelFor(0, static_cast<int64_t>(count), platform::GrainFor(16), [&](int64_t lo, int64_t hi) {
    fn(source->pixels + static_cast<size_t>(lo) * 4, destination->pixels + static_cast<size_t>(lo) * 4,
       static_cast<size_t>(hi - lo));
  });
}

}  // namespace

bool ApplyLUT(const image::ChunkyImage* source, image::ChunkyImage* destination, const LookupTable& table,
              AlphaMode mode) {
  if (!ArgbPair(source, destination) || !IsAlphaMode(mode)) return false;
  ForEachPixelRun(source, destination, [&](const uint8_t* s, uint8_t* d, size_t count) {
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
      switch (mode) {
        case kColourAndAlpha: d[0] = table[s[0]], d[1] = table[s[1]], d[2] = table[s[2]], d[3] = table[s[3]]; break;
        case kColourOnly: d[0] = s[0], d[1] = table[s[1]], d[2] = table[s[2]], d[3] = table[s[3]]; break;
        case kAlphaOnly: d[0] = table[s[0]], d[1] = s[1], d[2] = s[2], d[3] = s[3]; break;
      }
    }
  });
  return true;
}

LookupTable LevelsTable(int low, int high) {
  LookupTable table{};
  if (high == low) {
    for (int i = 0; i < 256; ++i) table[i] = i < low ? 0 : 255;
    return table;
  }
  const int64_t step = int64_t{65536} / (static_cast<int64_t>(high) - low);
  for (int i = 0; i < 256; ++i) table[i] = detail::ClampByte(((i - static_cast<int64_t>(low)) * step) >> 8);
  return table;
}

bool Levels(const image::ChunkyImage* source, image::ChunkyImage* destination, int low, int high, AlphaMode mode) {
  if (!IsAlphaMode(mode)) return false;
  return ApplyLUT(source, destination, LevelsTable(low, high), mode);
}

LevelRange AutoLevels(const image::ChunkyImage* image, AlphaMode mode) {
  if (!UsableARGB(image)) return {255, 0};
  const size_t count = detail::PixelCount(image);
  const uint8_t* p = image->pixels;
  if (mode == kAlphaOnly) {
    int lowest = 255, highest = 0;
    for (size_t i = 0; i < count; ++i, p += 4) {
      lowest = std::min<int>(lowest, p[0]);
      highest = std::max<int>(highest, p[0]);
    }
    return {lowest, highest};
  }
  int lowest = 255000, highest = 0;
  for (size_t i = 0; i < count; ++i, p += 4) {
    const int y = 299 * p[1] + 587 * p[2] + 114 * p[3];
    lowest = std::min(lowest, y);
    highest = std::max(highest, y);
  }
  return {lowest / 1000, highest / 1000};
}

LookupTable ContrastGammaTable(float contrast, float gamma) {
  if (gamma < 0.001f) gamma = 0.001f;
  const double e = 1.0 / static_cast<double>(gamma);
  LookupTable table{};
  for (int i = 0; i < 256; ++i) {
    // Each multiply-add is fused and rounded once to single precision.
    const float t = std::fmaf(static_cast<float>(i), 0.003921568859368563f, -0.5f);
    const float y = std::fmaf(t, contrast, 0.5f);
    float v = y > 0.0f ? static_cast<float>(std::pow(static_cast<double>(y), e)) : 0.0f;
    if (!(v >= 0.0f)) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    const float scaled = v * 255.0f;
    table[i] = static_cast<uint8_t>(scaled);
  }
  return table;
}

bool ContrastGamma(const image::ChunkyImage* source, image::ChunkyImage* destination, float contrast, float gamma,
                   AlphaMode mode) {
  if (!IsAlphaMode(mode) || !std::isfinite(contrast) || !std::isfinite(gamma)) return false;
  return ApplyLUT(source, destination, ContrastGammaTable(contrast, gamma), mode);
}

LookupTable BalanceTable(double factor) {
  const int64_t f = Fixed8(factor);
  LookupTable table{};
  int64_t accumulated = 0;
  for (int i = 0; i < 256; ++i, accumulated += f) table[i] = detail::ClampByte(accumulated >> 8);
  return table;
}

bool RGBBalance(const image::ChunkyImage* source, image::ChunkyImage* destination, double red, double green,
                double blue, double alpha) {
  if (!ArgbPair(source, destination)) return false;
  if (std::isnan(red) || std::isnan(green) || std::isnan(blue) || std::isnan(alpha)) return false;
  const LookupTable tables[4] = {BalanceTable(alpha), BalanceTable(red), BalanceTable(green), BalanceTable(blue)};
  ForEachPixelRun(source, destination, [&](const uint8_t* s, uint8_t* d, size_t count) {
    for (size_t i = 0; i < count; ++i, s += 4, d += 4)
      for (int c = 0; c < 4; ++c) d[c] = tables[c][s[c]];
  });
  return true;
}

HSV RGBToHSV(int r, int g, int b) {
  const int mx = std::max({r, g, b});
  if (mx == 0) return {0, 0, 0};
  const int mn = std::min({r, g, b});
  const int d = 128 * mx - 128 * mn;
  // A grey has no hue: the hue division would be by zero.
  if (d == 0) return {0, 0, mx};
  int h;
  if (r == mx)
    h = ((g - b) << 22) / d;
  else if (g == mx)
    h = ((b - r) << 22) / d + 0x10000;
  else
    h = ((r - g) << 22) / d + 0x20000;
  int t = static_cast<int16_t>((h * 10922) >> 16);
  if (t < 0) t += 32768;
  return {t >> 7, ((d << 15) / (128 * mx)) >> 7, mx};
}

RGB HSVToRGB(int hue, int saturation, int value) {
  const int h = std::clamp(hue, 0, 255) << 7;
  const int s = std::clamp(saturation, 0, 256) << 7;
  const int v = std::clamp(value, 0, 256) << 7;
  if (s == 0) {
    const int grey = v >> 7;
    return {grey, grey, grey};
  }
  const int hh = (h == 0x8000 ? 0 : h) * 6;
  const int sector = (hh & 0x78000) >> 15;
  const int f = hh & ~0x78000;
  const int p = ((32768 - s) * v) >> 15;
  const int q = ((32768 - ((s * f) >> 15)) * v) >> 15;
  const int t = ((32768 - (((32768 - f) * s) >> 15)) * v) >> 15;
  switch (sector) {
    case 0: return {v >> 7, t >> 7, p >> 7};
    case 1: return {q >> 7, v >> 7, p >> 7};
    case 2: return {p >> 7, v >> 7, t >> 7};
    case 3: return {p >> 7, q >> 7, v >> 7};
    case 4: return {t >> 7, p >> 7, v >> 7};
    default: return {v >> 7, p >> 7, q >> 7};
  }
}

bool HSVBalance(const image::ChunkyImage* source, image::ChunkyImage* destination, double hue, double saturation,
                double value) {
  if (!ArgbPair(source, destination)) return false;
  if (std::isnan(hue) || std::isnan(saturation) || std::isnan(value)) return false;
  const int64_t hueShift = Fixed8(hue);
  const int64_t satFactor = Fixed8(saturation);
  const int64_t valFactor = Fixed8(value);
  ForEachPixelRun(source, destination, [&](const uint8_t* s, uint8_t* d, size_t count) {
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
      const HSV hsv = RGBToHSV(s[1], s[2], s[3]);
      int64_t h = hsv.h + hueShift;
      // Out of 0..255 the hue wraps by 255 (once for every shift the tool can pass; a larger
      // shift wraps as often as needed).
      if (h < 0)
        h = (h % 255 + 255) % 255;
      else if (h > 255)
        h = (h - 1) % 255 + 1;
      const int sat = static_cast<int>(std::clamp<int64_t>((hsv.s * satFactor) >> 8, 0, 255));
      const int val = static_cast<int>(std::clamp<int64_t>((hsv.v * valFactor) >> 8, 0, 255));
      const RGB rgb = HSVToRGB(static_cast<int>(h), sat, val);
      d[0] = s[0];
      d[1] = detail::ClampByte(rgb.r);
      d[2] = detail::ClampByte(rgb.g);
      d[3] = detail::ClampByte(rgb.b);
    }
  });
  return true;
}

bool Negative(image::ChunkyImage* image) {
  if (!UsableARGB(image)) return false;
  const size_t count = detail::PixelCount(image);
  uint8_t* p = image->pixels;
  for (size_t i = 0; i < count; ++i, p += 4) {
    p[1] = static_cast<uint8_t>(255 - p[1]);
    p[2] = static_cast<uint8_t>(255 - p[2]);
    p[3] = static_cast<uint8_t>(255 - p[3]);
  }
  return true;
}

bool Grayscale(image::ChunkyImage* image) {
  if (!UsableARGB(image)) return false;
  const size_t count = detail::PixelCount(image);
  uint8_t* p = image->pixels;
  for (size_t i = 0; i < count; ++i, p += 4) {
    const auto grey = static_cast<uint8_t>((p[1] + p[2] + p[3]) / 3);
    p[1] = p[2] = p[3] = grey;
  }
  return true;
}

}  // namespace vl::filters
