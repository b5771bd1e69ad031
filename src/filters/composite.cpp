#include "filters/composite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "filters/alpha_mode.h"
#include "filters/blend_mode.h"
#include "filters/filter_util.h"
#include "filters/gaussian_blur.h"
#include "filters/tone.h"
#include "platform/requester.h"

namespace vl::filters {

namespace {

image::ChunkyImage* Chunky(const image::Texture* texture) {
  return texture && detail::Usable(texture->chunky) ? texture->chunky : nullptr;
}

}  // namespace

bool SetAlpha(image::Texture* texture, uint8_t alpha) {
  image::ChunkyImage* c = Chunky(texture);
  if (!c) return false;
  for (int y = 0; y < c->height; ++y)
    for (int x = 0; x < c->width; ++x) {
      uint8_t a = 0, r = 0, g = 0, b = 0;
      image::GetPixel(c, x, y, a, r, g, b);
      image::SetPixel(c, x, y, alpha, r, g, b);
    }
  return true;
}

bool NegativeAll(image::Texture* texture) {
  image::ChunkyImage* c = Chunky(texture);
  if (!c || c->format != image::ARGB32) return false;
  const size_t bytes = detail::PixelCount(c) * 4;
  for (size_t i = 0; i < bytes; ++i) c->pixels[i] = static_cast<uint8_t>(255 - c->pixels[i]);
  return true;
}

bool txtInsertAlpha(image::Texture* target, const image::Texture* alphaSource) {
  if (!target || !alphaSource) {
    std::printf("[txtInsertAlpha]: Passed NULL texture pointers (%d , %d)\n", target ? 1 : 0, alphaSource ? 1 : 0);
    std::fflush(stdout);
    return false;
  }
  image::ChunkyImage* dst = Chunky(target);
  const image::ChunkyImage* src = Chunky(alphaSource);
  if (!dst || !src) return false;
  const int width = std::min(dst->width, src->width);
  const int height = std::min(dst->height, src->height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t sa = 0, sr = 0, sg = 0, sb = 0;
      image::GetPixel(src, x, y, sa, sr, sg, sb);
      uint8_t a = 0, r = 0, g = 0, b = 0;
      image::GetPixel(dst, x, y, a, r, g, b);
      image::SetPixel(dst, x, y, static_cast<uint8_t>((sr + sg + sb) / 3), r, g, b);
    }
  return true;
}

bool HasTransparency(const image::ChunkyImage* image) {
  if (!detail::Usable(image)) return false;
  const int width = image->width;
  const int height = image->height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t a = 255, r = 0, g = 0, b = 0;
      image::GetPixel(image, x, y, a, r, g, b);
      if (a != 255) return true;
    }
  return false;
}

bool BlenderCheckTransparency(const image::Texture* texture) {
  if (HasTransparency(Chunky(texture))) return true;
  platform::CurrentRequester().Ask("Message...", kBlenderNeedsAlphaText, "OK");
  return false;
}

bool BlendOverBackground(image::Texture* texture, uint8_t r, uint8_t g, uint8_t b) {
  image::ChunkyImage* c = Chunky(texture);
  if (!c || c->format != image::ARGB32) return false;
  const int background[4] = {0, r, g, b};
  const size_t count = detail::PixelCount(c);
  uint8_t* p = c->pixels;
  for (size_t i = 0; i < count; ++i, p += 4) {
    const int32_t a = p[0];
    for (int ch = 1; ch < 4; ++ch) {
      const int32_t bg = background[ch];
      // Bits 8-15 of the 32-bit product are added to the background, modulo 256.
      const int32_t product = (p[ch] - bg) * a;
      p[ch] = static_cast<uint8_t>((bg + ((product >> 8) & 0xFF)) & 0xFF);
    }
    p[0] = 255;
  }
  return true;
}

std::array<uint8_t, 256> GlowTable(int low, int high, int strengthFactor) {
  LookupTable table{};
  if (low == high) {
    for (int i = 0; i < 256; ++i) table[i] = i <= low ? 0 : 255;
  } else {
    table = LevelsTable(low, high);
  }
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(std::min(255, (table[i] * strengthFactor) >> 8));
  return table;
}

namespace {

bool InRange(int v, int lo, int hi) {
  return v >= lo && v <= hi;
}
bool InRange(int v, const GlowRange& s) {
  return InRange(v, s.min, s.max);
}

}  // namespace

bool Glow(const image::ChunkyImage* kept, image::ChunkyImage* current, int saturation, int maskSize, int strength,
          int threshold, int background, bool monochrome, uint32_t mode) {
  if (!detail::SameShape(kept, current) || kept->format != image::ARGB32) return false;
  if (!InRange(saturation, kGlowSaturation) || !InRange(strength, kGlowStrength) ||
      !InRange(threshold, kGlowThreshold) || !InRange(background, kGlowBackground) ||
      !InRange(maskSize, 0, static_cast<int>(kMaxGaussianRadius)))
    return false;
  detail::ReadCopy read(kept, current);
  const image::ChunkyImage* original = read.get();
  if (!original) return false;

  const int saturationFactor = saturation * 256 / 100;
  const int strengthFactor = strength * 256 / 100;
  const int backgroundFactor = background * 256 / 100;
  const AlphaMode layerMode = monochrome ? kAlphaOnly : kColourOnly;

  // 1. Saturation.
  if (!HSVBalance(original, current, 0.0, saturationFactor * (1.0 / 256.0), 1.0)) return false;

  // 2. Threshold stretch.
  if (monochrome) Grayscale(current);
  const int k = 65536 / (256 - threshold);
  const size_t count = detail::PixelCount(current);
  uint8_t* p = current->pixels;
  for (size_t i = 0; i < count; ++i, p += 4) {
    auto stretch = [&](int c) { return detail::ClampByte(((c - threshold) * k) >> 8); };
    if (monochrome) {
      p[0] = stretch(p[1]);
    } else {
      p[1] = stretch(p[1]);
      p[2] = stretch(p[2]);
      p[3] = stretch(p[3]);
    }
  }

  // 3. Blur.
  if (!GaussianBlur(current, static_cast<float>(maskSize), layerMode)) return false;

  // 4. Levels of the layer's own range, scaled by the strength.
  const LevelRange range = AutoLevels(current, layerMode);
  const std::array<uint8_t, 256> table = GlowTable(range.low, range.high, strengthFactor);

  // 5. Blend over the kept image scaled by the background factor.
  if (!BlendHasPixelRule(mode)) return true;
  const uint8_t* o = original->pixels;
  p = current->pixels;
  for (size_t i = 0; i < count; ++i, p += 4, o += 4) {
    for (int c = 1; c < 4; ++c) {
      const int base = (o[c] * backgroundFactor) >> 8;
      const int g = table[monochrome ? p[0] : p[c]];
      int out;
      switch (mode) {
        case kBlendAdd: out = std::min(255, base + g); break;
        case kBlendMultiply: out = (base * g) >> 8; break;
        default: out = 255 - (((255 - base) * (255 - g)) >> 8); break;  // Screen
      }
      p[c] = static_cast<uint8_t>(out);
    }
    if (monochrome) p[0] = o[0];
  }
  return true;
}

}  // namespace vl::filters
