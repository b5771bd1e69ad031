// Per-pixel tone and colour operations on ARGB32 images: lookup tables applied by alpha
// mode (levels, contrast and gamma), RGB and HSV balance, negative and grayscale.
//
// Images first, parameters after; true when the operation ran, false when it did nothing
// (null or mismatched images, another format, a mode or parameter it does not take).
// destination may always be the source.
#pragma once

#include <array>
#include <cstdint>

#include "filters/alpha_mode.h"
#include "image/chunky.h"

namespace vl::filters {

using LookupTable = std::array<uint8_t, 256>;

// Mode 4 maps A, R, G, B through the table; 3 maps R, G, B and copies A; 1 maps A and
// copies R, G, B.
bool ApplyLUT(const image::ChunkyImage* source, image::ChunkyImage* destination, const LookupTable& table,
              AlphaMode mode);

// table[i] = ((i - low) * (65536 / (high - low))) >> 8, limited to 0..255. When high
// equals low the table is a step at low: values below low become 0, the rest 255.
LookupTable LevelsTable(int low, int high);
bool Levels(const image::ChunkyImage* source, image::ChunkyImage* destination, int low, int high, AlphaMode mode);

// The measured range for the "_Auto" button: luminance levels (299 R + 587 G + 114 B) / 1000
// for mode 3 and 4, the alpha bytes for mode 1. Nothing measured gives low 255, high 0.
struct LevelRange {
  int low;
  int high;
};
LevelRange AutoLevels(const image::ChunkyImage* image, AlphaMode mode);

// Contrast/gamma table, single-precision steps: y = (i * (1/255) - 0.5) * contrast + 0.5,
// v = pow(y, 1 / gamma) limited to 0..1 (negative y gives 0), entry = truncate(v * 255).
LookupTable ContrastGammaTable(float contrast, float gamma);
// The table applied by alpha mode; a contrast or gamma that is not finite is refused.
bool ContrastGamma(const image::ChunkyImage* source, image::ChunkyImage* destination, float contrast, float gamma,
                   AlphaMode mode);

// Each channel scaled by its factor (1.0 keeps it): table[i] = min(255, (i * f) >> 8) with
// f = truncate(factor * 256). Negative factors give 0.
LookupTable BalanceTable(double factor);
bool RGBBalance(const image::ChunkyImage* source, image::ChunkyImage* destination, double red, double green,
                double blue, double alpha);

// Hue shift in full turns (0.5 = half a turn) and saturation and value factors.
bool HSVBalance(const image::ChunkyImage* source, image::ChunkyImage* destination, double hue, double saturation,
                double value);

// Fixed-point colour model: H 0..255 for a full turn, S and V 0..256.
struct HSV {
  int h;
  int s;
  int v;
};
struct RGB {
  int r;
  int g;
  int b;
};
HSV RGBToHSV(int r, int g, int b);
RGB HSVToRGB(int h, int s, int v);

// In place: R, G, B become 255 - value (A kept); R = G = B = (R + G + B) / 3 (A kept).
bool Negative(image::ChunkyImage* image);
bool Grayscale(image::ChunkyImage* image);

}  // namespace vl::filters
