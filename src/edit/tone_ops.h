// Tone and colour: levels, contrast and gamma, RGB and HSV balance, grayscale, negative.
#pragma once

#include <cstdint>

#include "edit/operation.h"
#include "filters/alpha_mode.h"

namespace vl::edit {

// Levels from low..high to 0..255 on the channels of the mode. With autoLevels, low and high
// are measured on the source first (the alpha byte for kAlphaOnly, the luminance otherwise).
struct LevelsParams {
  static constexpr IntRange kLow{0, 255, 0};     // "Minimum:"
  static constexpr IntRange kHigh{0, 255, 255};  // "Maximum"
  int32_t low = kLow.start;
  int32_t high = kHigh.start;
  filters::AlphaMode mode = filters::kColourOnly;
  bool autoLevels = false;
  bool operator==(const LevelsParams&) const = default;
};
// low and high of params, or the measured ones with autoLevels.
void ResolveLevels(const image::ChunkyImage& src, LevelsParams& params);
// With low equal to high, dst becomes a copy of src.
bool RunLevels(const image::ChunkyImage& src, image::ChunkyImage& dst, const LevelsParams& params,
               const StopFlag& stop);
// BeginEdit (1 when it fails); low equal to high then changes nothing more and answers 0.
int ApplyLevels(app::Controller& c, const LevelsParams& params);

// Contrast and gamma in hundredths (100 keeps the picture), on the channels of the mode.
struct ContrastGammaParams {
  static constexpr IntRange kContrast{0, 500, 100};
  static constexpr IntRange kGamma{1, 500, 100};
  int32_t contrast = kContrast.start;
  int32_t gamma = kGamma.start;
  filters::AlphaMode mode = filters::kColourOnly;
  bool operator==(const ContrastGammaParams&) const = default;
};
bool RunContrastGamma(const image::ChunkyImage& src, image::ChunkyImage& dst, const ContrastGammaParams& params,
                      const StopFlag& stop);
int ApplyContrastGamma(app::Controller& c, const ContrastGammaParams& params);

// The four channels in percent (100 keeps a channel).
struct RGBBalanceParams {
  static constexpr IntRange kChannel{0, 500, 100};
  int32_t red = kChannel.start;
  int32_t green = kChannel.start;
  int32_t blue = kChannel.start;
  int32_t alpha = kChannel.start;
  bool operator==(const RGBBalanceParams&) const = default;
};
bool RunRGBBalance(const image::ChunkyImage& src, image::ChunkyImage& dst, const RGBBalanceParams& params,
                   const StopFlag& stop);
int ApplyRGBBalance(app::Controller& c, const RGBBalanceParams& params);

// Hue in degrees, saturation and value in percent.
struct HSVBalanceParams {
  static constexpr IntRange kHue{-359, 359, 0};
  static constexpr IntRange kSaturation{0, 500, 100};
  static constexpr IntRange kValue{0, 500, 100};
  int32_t hue = kHue.start;
  int32_t saturation = kSaturation.start;
  int32_t value = kValue.start;
  bool operator==(const HSVBalanceParams&) const = default;
};
bool RunHSVBalance(const image::ChunkyImage& src, image::ChunkyImage& dst, const HSVBalanceParams& params,
                   const StopFlag& stop);
int ApplyHSVBalance(app::Controller& c, const HSVBalanceParams& params);

// Menu "Grayscale": BeginEdit, grayscale, CommitEdit (one undo step). 1 without a picture.
bool RunGrayscale(const image::ChunkyImage& src, image::ChunkyImage& dst, const StopFlag& stop);
int ApplyGrayscale(app::Controller& c);
// Menu "Negative": the current picture in place, without an undo step.
bool RunNegative(const image::ChunkyImage& src, image::ChunkyImage& dst, const StopFlag& stop);
int ApplyNegative(app::Controller& c);

}  // namespace vl::edit
