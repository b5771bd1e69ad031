#include "edit/geometry_ops.h"

#include "image/geometry.h"
#include "platform/numbers.h"

namespace vl::edit {

bool ScaleTargetSize(const ScaleParams& p, int32_t srcWidth, int32_t srcHeight, int32_t& width, int32_t& height) {
  if (p.ratio != 0.0f) {
    width = platform::Truncate(static_cast<float>(srcWidth) * p.ratio);
    height = platform::Truncate(static_cast<float>(srcHeight) * p.ratio);
    return true;
  }
  if (p.hasWidth && p.hasHeight) {
    width = p.width;
    height = p.height;
    return true;
  }
  if (!p.hasWidth && !p.hasHeight) return false;
  // One side given: the other keeps the picture's aspect.
  const double aspect = static_cast<double>(srcHeight) / srcWidth;
  if (p.hasWidth) {
    width = p.width;
    height = platform::Truncate(width * aspect);
    if (width > 0 && height < 1) height = 1;
  } else {
    height = p.height;
    width = platform::Truncate(height / aspect);
    if (height > 0 && width < 1) width = 1;
  }
  return true;
}

namespace {

// The scale itself, once the size is known.
image::ChunkyImage* Scaled(const image::ChunkyImage& src, int32_t width, int32_t height, const ScaleParams& p) {
  if (width <= 0 || height <= 0 || !image::SizeAllowed(width, height, src.format)) return nullptr;
  if (p.border) {
    const uint32_t c = p.borderColor;
    return image::ScaleIntoCanvas(&src, width, height, static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                  static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 24));
  }
  return image::ScaleImage(&src, width, height, p.method);
}

}  // namespace

bool RunScale(const image::ChunkyImage& src, image::ChunkyPtr& dst, const ScaleParams& p, const StopFlag& stop) {
  int32_t width = 0, height = 0;
  if (!ScaleTargetSize(p, src.width, src.height, width, height)) return false;
  if (width == src.width && height == src.height) {
    dst.reset(image::chk_Duplicate(&src));
    return dst != nullptr;
  }
  return Stoppable(stop, [&] {
    dst.reset(Scaled(src, width, height, p));
    return dst != nullptr;
  });
}

int ApplyScale(app::Controller& c, const ScaleParams& p) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  int32_t width = 0, height = 0;
  if (!ScaleTargetSize(p, cur->width, cur->height, width, height)) return 1;
  if (width == cur->width && height == cur->height) return 0;
  image::ChunkyPtr result(Scaled(*cur, width, height, p));
  if (!result) return 1;
  c.ReplaceChunky(std::move(result));
  return 0;
}

bool ClampCrop(const CropParams& p, int32_t srcWidth, int32_t srcHeight, CropParams& out) {
  if (p.left < 0 || p.top < 0 || p.left >= srcWidth || p.top >= srcHeight) return false;
  int64_t w = p.width, h = p.height;
  if (int64_t{p.left} + w > srcWidth) w = srcWidth - int64_t{p.left};
  if (int64_t{p.top} + h > srcHeight) h = srcHeight - int64_t{p.top};
  if (w <= 0 || h <= 0) return false;
  out = {p.left, p.top, static_cast<int32_t>(w), static_cast<int32_t>(h)};
  return true;
}

bool RunCrop(const image::ChunkyImage& src, image::ChunkyPtr& dst, const CropParams& p, const StopFlag& stop) {
  CropParams r;
  if (stop.Requested() || !ClampCrop(p, src.width, src.height, r)) return false;
  image::Texture view;  // a texture around the source's pixels, for CropRegion
  view.chunky = const_cast<image::ChunkyImage*>(&src);
  image::TexturePtr cropped(image::CropRegion(&view, r.left, r.top, r.width, r.height));
  view.chunky = nullptr;
  if (!cropped || !cropped->chunky) return false;
  dst.reset(cropped->chunky);
  cropped->chunky = nullptr;
  return true;
}

int ApplyCrop(app::Controller& c, const CropParams& p) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  image::ChunkyPtr result;
  if (!RunCrop(*cur, result, p, NeverStop())) return 1;
  c.ReplaceChunky(std::move(result));
  return 0;
}

bool RunStraighten(const image::ChunkyImage& src, image::ChunkyImage& dst, const StraightenParams& p,
                   const StopFlag& stop) {
  if (src.format != image::ARGB32 || dst.format != image::ARGB32 || src.width != dst.width ||
      src.height != dst.height || &src == &dst)
    return false;
  return Stoppable(stop, [&] {
    image::Straighten(&src, &dst, p.angle, p.scaleToFit);
    return true;
  });
}

int ApplyStraighten(app::Controller& c, const StraightenParams& p) {
  return ApplyRun(c, p, RunStraighten);
}

namespace {
int ApplyTurn(app::Controller& c, image::ChunkyImage* (*turn)(const image::ChunkyImage*)) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  image::ChunkyPtr result(turn(cur));
  if (!result) {
    image::ReportRotationFailure();
    return 1;
  }
  c.ReplaceChunky(std::move(result));
  return 0;
}

int ApplyMirror(app::Controller& c, void (*mirror)(image::ChunkyImage*)) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  mirror(cur);
  c.RefreshDisplay();
  return 0;
}
}  // namespace

int ApplyRotateClockwise(app::Controller& c) {
  return ApplyTurn(c, image::RotateClockwise);
}
int ApplyRotateCounterClockwise(app::Controller& c) {
  return ApplyTurn(c, image::RotateCounterClockwise);
}
int ApplyFlipHorizontal(app::Controller& c) {
  return ApplyMirror(c, image::FlipHorizontal);
}
int ApplyFlipVertical(app::Controller& c) {
  return ApplyMirror(c, image::FlipVertical);
}

}  // namespace vl::edit
