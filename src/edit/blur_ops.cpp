#include "edit/blur_ops.h"

#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/rank.h"
#include "filters/selective_gaussian.h"
#include "filters/selective_median.h"
#include "filters/sharpen.h"

namespace vl::edit {

bool RunSmooth(const image::ChunkyImage& src, image::ChunkyImage& dst, const SmoothParams& p, const StopFlag& stop) {
  if (p.radiusX == 0 && p.radiusY == 0) return CopyPixels(src, dst);
  return Stoppable(stop, [&] { return filters::BoxBlur(&src, &dst, p.radiusX, p.radiusY); });
}

int ApplySmooth(app::Controller& c, const SmoothParams& p) {
  return ApplyRun(c, p, RunSmooth);
}

bool RunGaussianBlur(const image::ChunkyImage& src, image::ChunkyImage& dst, const GaussianBlurParams& p,
                     const StopFlag& stop) {
  // The blur works in place: the untouched source is copied in first.
  return CopyPixels(src, dst) && Stoppable(stop, [&] { return filters::GaussianBlur(&dst, p.radius, p.mode); });
}

int ApplyGaussianBlur(app::Controller& c, const GaussianBlurParams& p) {
  return ApplyRun(c, p, RunGaussianBlur);
}

bool RunNoiseReduction(const image::ChunkyImage& src, image::ChunkyImage& dst, const NoiseReductionParams& p,
                       const StopFlag& stop) {
  // The backup's pixels first, so that a filter that refuses its parameters leaves the copy.
  if (!CopyPixels(src, dst)) return false;
  return Stoppable(stop, [&] {
    if (p.filter == NoiseFilter::kMedian) return filters::SelectiveMedian(&src, &dst, p.size, p.threshold, p.mode);
    return filters::SelectiveGaussian(&src, &dst, p.radius, p.threshold, p.mode);
  });
}

int ApplyNoiseReduction(app::Controller& c, const NoiseReductionParams& p) {
  return ApplyRun(c, p, RunNoiseReduction);
}

bool RunSharpen(const image::ChunkyImage& src, image::ChunkyImage& dst, const SharpenParams& p, const StopFlag& stop) {
  return Stoppable(stop, [&] { return filters::Sharpen(&src, &dst, p.radius, p.strength / 255.0); });
}

int ApplySharpen(app::Controller& c, const SharpenParams& p) {
  return ApplyRun(c, p, RunSharpen);
}

bool RunMedian(const image::ChunkyImage& src, image::ChunkyImage& dst, const MedianParams& p, const StopFlag& stop) {
  return Stoppable(stop, [&] {
    switch (p.method) {
      case RankMethod::kMinimum: return filters::MinimumFilter(&src, &dst, p.radius, p.circular);
      case RankMethod::kMaximum: return filters::MaximumFilter(&src, &dst, p.radius, p.circular);
      case RankMethod::kMedian: return filters::MedianFilter(&src, &dst, p.radius, p.circular);
    }
    return false;
  });
}

int ApplyMedian(app::Controller& c, const MedianParams& p) {
  return ApplyRun(c, p, RunMedian);
}

}  // namespace vl::edit
