#include "edit/tone_ops.h"

#include "filters/tone.h"

namespace vl::edit {

void ResolveLevels(const image::ChunkyImage& src, LevelsParams& params) {
  if (!params.autoLevels) return;
  const filters::LevelRange range =
      filters::AutoLevels(&src, params.mode == filters::kAlphaOnly ? filters::kAlphaOnly : filters::kColourOnly);
  params.low = range.low;
  params.high = range.high;
}

bool RunLevels(const image::ChunkyImage& src, image::ChunkyImage& dst, const LevelsParams& given,
               const StopFlag& stop) {
  LevelsParams p = given;
  ResolveLevels(src, p);
  if (p.low == p.high) return CopyPixels(src, dst);
  return Stoppable(stop, [&] { return filters::Levels(&src, &dst, p.low, p.high, p.mode); });
}

int ApplyLevels(app::Controller& c, const LevelsParams& given) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  // The automatic levels measure the untouched picture, as every run of the operation reads it
  // (a preview shown in the current picture must not move them).
  LevelsParams p = given;
  ResolveLevels(*c.editBackup()->chunky, p);
  if (p.high == p.low) return 0;
  p.autoLevels = false;
  return ApplyInPlace(
      c, [&](const image::ChunkyImage& src, image::ChunkyImage& dst) { return RunLevels(src, dst, p, NeverStop()); });
}

bool RunContrastGamma(const image::ChunkyImage& src, image::ChunkyImage& dst, const ContrastGammaParams& p,
                      const StopFlag& stop) {
  return Stoppable(stop, [&] {
    return filters::ContrastGamma(&src, &dst, static_cast<float>(p.contrast / 100.0),
                                  static_cast<float>(p.gamma / 100.0), p.mode);
  });
}

int ApplyContrastGamma(app::Controller& c, const ContrastGammaParams& p) {
  return ApplyRun(c, p, RunContrastGamma);
}

bool RunRGBBalance(const image::ChunkyImage& src, image::ChunkyImage& dst, const RGBBalanceParams& p,
                   const StopFlag& stop) {
  return Stoppable(stop, [&] {
    return filters::RGBBalance(&src, &dst, p.red / 100.0, p.green / 100.0, p.blue / 100.0, p.alpha / 100.0);
  });
}

int ApplyRGBBalance(app::Controller& c, const RGBBalanceParams& p) {
  return ApplyRun(c, p, RunRGBBalance);
}

bool RunHSVBalance(const image::ChunkyImage& src, image::ChunkyImage& dst, const HSVBalanceParams& p,
                   const StopFlag& stop) {
  return Stoppable(
      stop, [&] { return filters::HSVBalance(&src, &dst, p.hue / 360.0, p.saturation / 100.0, p.value / 100.0); });
}

int ApplyHSVBalance(app::Controller& c, const HSVBalanceParams& p) {
  return ApplyRun(c, p, RunHSVBalance);
}

bool RunGrayscale(const image::ChunkyImage& src, image::ChunkyImage& dst, const StopFlag& stop) {
  return CopyPixels(src, dst) && Stoppable(stop, [&] { return filters::Grayscale(&dst); });
}

int ApplyGrayscale(app::Controller& c) {
  const int r = ApplyInPlace(
      c, [&](const image::ChunkyImage& src, image::ChunkyImage& dst) { return RunGrayscale(src, dst, NeverStop()); });
  c.CommitEdit();
  return r;
}

bool RunNegative(const image::ChunkyImage& src, image::ChunkyImage& dst, const StopFlag& stop) {
  return CopyPixels(src, dst) && Stoppable(stop, [&] { return filters::Negative(&dst); });
}

int ApplyNegative(app::Controller& c) {
  image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur || !filters::Negative(cur)) return 1;
  c.RefreshDisplay();
  return 0;
}

}  // namespace vl::edit
