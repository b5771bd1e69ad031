// Operations that move pixels: scale (the resize window), crop, straighten, the quarter turns
// and the mirrors.
#pragma once

#include <cstdint>

#include "edit/operation.h"
#include "image/resample.h"

namespace vl::edit {

// Method numbers of the resampling kernels; kNoMethod when none was chosen.
inline constexpr int kNoMethod = -1;
inline constexpr int kLanczosMethod = 5;

// Scale to width x height, or by ratio (when not 0), or with one side given and the other
// following the picture's aspect. With border, the picture is scaled into a canvas of the
// border colour (0xAARRGGBB) and the method is not used.
struct ScaleParams {
  int32_t width = 0;
  int32_t height = 0;
  bool hasWidth = true;
  bool hasHeight = true;
  float ratio = 0.0f;
  bool border = false;
  uint32_t borderColor = 0;
  int method = kLanczosMethod;
};
// The size the parameters ask for from a picture of srcWidth x srcHeight: with a ratio,
// truncate(side x ratio) in single precision; with one side, the other is truncated from the
// aspect (at least 1 when the given side is positive). False when no side is given.
bool ScaleTargetSize(const ScaleParams& params, int32_t srcWidth, int32_t srcHeight, int32_t& width, int32_t& height);
// dst receives a new buffer of the target size. False for a side that is not positive, a size
// past the limits, an unknown method without border, or no memory.
bool RunScale(const image::ChunkyImage& src, image::ChunkyPtr& dst, const ScaleParams& params, const StopFlag& stop);
// Same size as now: 0 and nothing changes; otherwise the result replaces the picture through
// ReplaceChunky (not undoable).
int ApplyScale(app::Controller& c, const ScaleParams& params);

// A rectangle of the picture; width and height are limited to the picture's right and
// bottom edges.
struct CropParams {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  // The border finder's tolerance in the window.
  static constexpr IntRange kTolerance{0, 255, 0};
  bool operator==(const CropParams&) const = default;
};
// The rectangle limited to a picture of srcWidth x srcHeight; false when it starts outside
// the picture or is empty after the limit.
bool ClampCrop(const CropParams& params, int32_t srcWidth, int32_t srcHeight, CropParams& clamped);
bool RunCrop(const image::ChunkyImage& src, image::ChunkyPtr& dst, const CropParams& params, const StopFlag& stop);
int ApplyCrop(app::Controller& c, const CropParams& params);

// Rotation by a small angle, in hundredths of a degree in the window.
struct StraightenParams {
  static constexpr IntRange kAngle{-2000, 2000, 0};  // hundredths of a degree
  float angle = 0.0f;                                // degrees
  bool scaleToFit = false;
  bool operator==(const StraightenParams&) const = default;
};
bool RunStraighten(const image::ChunkyImage& src, image::ChunkyImage& dst, const StraightenParams& params,
                   const StopFlag& stop);
int ApplyStraighten(app::Controller& c, const StraightenParams& params);

// The menu's quarter turns, through ReplaceChunky: 0, or 1 without a picture or memory.
int ApplyRotateClockwise(app::Controller& c);
int ApplyRotateCounterClockwise(app::Controller& c);
// The menu's mirrors, in place without an undo step.
int ApplyFlipHorizontal(app::Controller& c);
int ApplyFlipVertical(app::Controller& c);

}  // namespace vl::edit
