// The apply steps shared by the tool windows' Execute buttons and the scripting handlers:
// each takes the controller's images, runs one operation and refreshes the display.
// All answer 0 on success and 1 on failure, and all need a current picture.
//
// In-place steps take the edit backup (BeginEdit), read it and write the current picture;
// the caller commits (CommitEdit) or cancels. Size-changing steps (scale, crop) replace
// the pixel buffer through ReplaceChunky and cannot be undone.
#pragma once

#include <cstdint>

#include "app/controller.h"

namespace vl::app {

// Method numbers of the resampling kernels; kNoMethod when none was chosen.
inline constexpr int kNoMethod = -1;

// Same size as now: 0 and nothing changes. A side that is not positive: 1. With border,
// the picture is scaled into a canvas of that colour; otherwise resampled with method.
int ApplyScale(Controller& c, int32_t width, int32_t height, bool border, uint8_t r, uint8_t g, uint8_t b, uint8_t a,
               int method);
// Crops to the rectangle, limited to the picture's right and bottom edges. A rectangle
// that starts outside the picture (or is empty after the limit) answers 1.
int ApplyCrop(Controller& c, int32_t left, int32_t top, int32_t width, int32_t height);
// Sharpen with strength / 255.0.
int ApplySharpen(Controller& c, int32_t radius, int32_t strength);
// Levels with an alpha mode (1, 3, 4); low equal to high changes nothing and answers 0.
int ApplyLevels(Controller& c, int32_t low, int32_t high, int mode);
int ApplyGaussianBlur(Controller& c, int mode, float radius);
int ApplySelectiveBlur(Controller& c, int32_t threshold, int mode, float radius);
// RGB balance; the four values are percentages (100 keeps a channel).
int ApplyRGBBalance(Controller& c, int32_t red, int32_t green, int32_t blue, int32_t alpha);
// HSV balance with hue / 360, saturation / 100 and value / 100.
int ApplyHSVBalance(Controller& c, int32_t hue, int32_t saturation, int32_t value);
// Contrast (gamma 1.0) and gamma (contrast 1.0), in hundredths, on the colour channels.
int ApplyContrast(Controller& c, int32_t contrast);
int ApplyGamma(Controller& c, int32_t gamma);

}  // namespace vl::app
