// Blurs and neighbourhood filters: smooth (box blur), Gaussian blur, noise reduction
// (selective Gaussian blur and selective median), sharpen, and the median tool's minimum,
// maximum and median.
#pragma once

#include <cstdint>

#include "edit/operation.h"
#include "filters/alpha_mode.h"

namespace vl::edit {

// Box blur with separate radii; with both 0 the picture is copied.
struct SmoothParams {
  static constexpr IntRange kRadius{0, 128, 0};  // "Horizontal:", "Vertical:"
  int32_t radiusX = kRadius.start;
  int32_t radiusY = kRadius.start;
  bool operator==(const SmoothParams&) const = default;
};
bool RunSmooth(const image::ChunkyImage& src, image::ChunkyImage& dst, const SmoothParams& params,
               const StopFlag& stop);
int ApplySmooth(app::Controller& c, const SmoothParams& params);

// Gaussian blur of the given radius; the window's "Mask size:" runs in hundredths.
struct GaussianBlurParams {
  static constexpr IntRange kMaskSize{10, 5000, 100};  // hundredths of the radius
  float radius = 1.0f;
  filters::AlphaMode mode = filters::kColourOnly;
  bool operator==(const GaussianBlurParams&) const = default;
};
bool RunGaussianBlur(const image::ChunkyImage& src, image::ChunkyImage& dst, const GaussianBlurParams& params,
                     const StopFlag& stop);
int ApplyGaussianBlur(app::Controller& c, const GaussianBlurParams& params);

// Noise reduction: the selective Gaussian blur ("Gaussian blur", radius) or the selective
// median ("Median", size), over the neighbours whose colour (or alpha) is near the centre's.
enum class NoiseFilter { kGaussian = 0, kMedian = 1 };
struct NoiseReductionParams {
  static constexpr IntRange kGaussianMaskSize{10, 2000, 100};  // hundredths of the radius
  static constexpr IntRange kMedianSize{1, 4, 2};
  static constexpr IntRange kThreshold{5, 255, 50};
  NoiseFilter filter = NoiseFilter::kGaussian;
  float radius = 1.0f;               // the Gaussian filter's
  int32_t size = kMedianSize.start;  // the median's
  int32_t threshold = kThreshold.start;
  filters::AlphaMode mode = filters::kColourOnly;  // kColourOnly or kAlphaOnly
  bool operator==(const NoiseReductionParams&) const = default;
};
bool RunNoiseReduction(const image::ChunkyImage& src, image::ChunkyImage& dst, const NoiseReductionParams& params,
                       const StopFlag& stop);
int ApplyNoiseReduction(app::Controller& c, const NoiseReductionParams& params);

// Unsharp mask: "Mask size:" and "Strength:" (percent; the filter gets strength / 255).
struct SharpenParams {
  static constexpr IntRange kMaskSize{1, 50, 1};
  static constexpr IntRange kStrength{0, 100, 100};
  int32_t radius = kMaskSize.start;
  int32_t strength = kStrength.start;
  bool operator==(const SharpenParams&) const = default;
};
bool RunSharpen(const image::ChunkyImage& src, image::ChunkyImage& dst, const SharpenParams& params,
                const StopFlag& stop);
int ApplySharpen(app::Controller& c, const SharpenParams& params);

// The median tool: minimum, maximum or median over a rectangular or circular mask.
enum class RankMethod { kMinimum = 0, kMaximum = 1, kMedian = 2 };
struct MedianParams {
  static constexpr IntRange kRadius{1, 5, 1};
  RankMethod method = RankMethod::kMinimum;
  int32_t radius = kRadius.start;
  bool circular = false;
  bool operator==(const MedianParams&) const = default;
};
bool RunMedian(const image::ChunkyImage& src, image::ChunkyImage& dst, const MedianParams& params,
               const StopFlag& stop);
int ApplyMedian(app::Controller& c, const MedianParams& params);

}  // namespace vl::edit
