#include "app/apply_steps.h"

#include <cstdio>
#include <cstring>

#include "filters/alpha_mode.h"
#include "filters/gaussian_blur.h"
#include "filters/selective_gaussian.h"
#include "filters/sharpen.h"
#include "filters/tone.h"
#include "image/geometry.h"
#include "image/resample.h"

namespace vl::app {
namespace {

image::ChunkyImage* CurrentChunky(Controller& c) {
  image::Texture* t = c.currentImage();
  return t ? t->chunky : nullptr;
}

// Copies the backup's pixels over the current picture's (same size and format).
bool RestoreFromBackup(Controller& c) {
  image::ChunkyImage* from = c.editBackup() ? c.editBackup()->chunky : nullptr;
  image::ChunkyImage* to = CurrentChunky(c);
  if (!from || !to || from->width != to->width || from->height != to->height || from->format != to->format)
    return false;
  std::memcpy(to->pixels, from->pixels, image::BufferBytes(to->width, to->height, to->format));
  return true;
}

// Runs an operation that reads the backup and writes the current picture.
template <typename Op>
int InPlace(Controller& c, Op op) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  bool ok = op(c.editBackup()->chunky, CurrentChunky(c));
  c.RefreshDisplay();
  return ok ? 0 : 1;
}

}  // namespace

int ApplyScale(Controller& c, int32_t width, int32_t height, bool border, uint8_t r, uint8_t g, uint8_t b, uint8_t a,
               int method) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  if (width == cur->width && height == cur->height) return 0;
  if (width <= 0 || height <= 0) return 1;
  if (!image::SizeAllowed(width, height, cur->format)) return 1;
  image::ChunkyPtr result(border ? image::ScaleIntoCanvas(cur, width, height, r, g, b, a)
                                 : image::ScaleImage(cur, width, height, method));
  if (!result) return 1;
  c.ReplaceChunky(std::move(result));
  return 0;
}

int ApplyCrop(Controller& c, int32_t left, int32_t top, int32_t width, int32_t height) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  if (left < 0 || top < 0 || left >= cur->width || top >= cur->height) return 1;
  int64_t w = width, h = height;
  if (static_cast<int64_t>(left) + w > cur->width) w = cur->width - static_cast<int64_t>(left);
  if (static_cast<int64_t>(top) + h > cur->height) h = cur->height - static_cast<int64_t>(top);
  if (w <= 0 || h <= 0) return 1;
  image::TexturePtr cropped(
      image::CropRegion(c.currentImage(), left, top, static_cast<int32_t>(w), static_cast<int32_t>(h)));
  if (!cropped || !cropped->chunky) return 1;
  image::ChunkyPtr pixels(cropped->chunky);
  cropped->chunky = nullptr;
  c.ReplaceChunky(std::move(pixels));
  return 0;
}

int ApplySharpen(Controller& c, int32_t radius, int32_t strength) {
  return InPlace(c, [&](const image::ChunkyImage* src, image::ChunkyImage* dst) {
    return filters::Sharpen(src, dst, radius, strength / 255.0);
  });
}

int ApplyLevels(Controller& c, int32_t low, int32_t high, int mode) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  if (high == low) return 0;
  bool ok = filters::Levels(c.editBackup()->chunky, CurrentChunky(c), low, high, static_cast<filters::AlphaMode>(mode));
  c.RefreshDisplay();
  return ok ? 0 : 1;
}

int ApplyGaussianBlur(Controller& c, int mode, float radius) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  RestoreFromBackup(c);
  bool ok = filters::GaussianBlur(CurrentChunky(c), radius, static_cast<filters::AlphaMode>(mode));
  c.RefreshDisplay();
  return ok ? 0 : 1;
}

int ApplySelectiveBlur(Controller& c, int32_t threshold, int mode, float radius) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  RestoreFromBackup(c);
  bool ok = filters::SelectiveGaussian(c.editBackup()->chunky, CurrentChunky(c), radius, threshold,
                                       static_cast<filters::AlphaMode>(mode));
  c.RefreshDisplay();
  return ok ? 0 : 1;
}

int ApplyRGBBalance(Controller& c, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  return InPlace(c, [&](const image::ChunkyImage* src, image::ChunkyImage* dst) {
    return filters::RGBBalance(src, dst, red / 100.0, green / 100.0, blue / 100.0, alpha / 100.0);
  });
}

int ApplyHSVBalance(Controller& c, int32_t hue, int32_t saturation, int32_t value) {
  return InPlace(c, [&](const image::ChunkyImage* src, image::ChunkyImage* dst) {
    return filters::HSVBalance(src, dst, hue / 360.0, saturation / 100.0, value / 100.0);
  });
}

int ApplyContrast(Controller& c, int32_t contrast) {
  return InPlace(c, [&](const image::ChunkyImage* src, image::ChunkyImage* dst) {
    return filters::ContrastGamma(src, dst, static_cast<float>(contrast / 100.0), 1.0f, filters::kColourOnly);
  });
}

int ApplyGamma(Controller& c, int32_t gamma) {
  return InPlace(c, [&](const image::ChunkyImage* src, image::ChunkyImage* dst) {
    return filters::ContrastGamma(src, dst, 1.0f, static_cast<float>(gamma / 100.0), filters::kColourOnly);
  });
}

}  // namespace vl::app
