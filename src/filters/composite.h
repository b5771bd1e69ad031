// Compositing: alpha channels taken from another image, flattening onto a background
// colour, and the glow effect.
#pragma once

#include <array>
#include <cstdint>

#include "image/chunky.h"

namespace vl::filters {

// Sets every pixel's alpha (through GetPixel/SetPixel, so any format with a pixel rule),
// keeping R, G, B. False for a null texture or one without pixels.
bool SetAlpha(image::Texture* texture, uint8_t alpha);

// A, R, G, B of every ARGB32 pixel become 255 - value (all four, unlike Negative).
bool NegativeAll(image::Texture* texture);

// Over the overlap of the two images, the target's alpha becomes (R + G + B) / 3 of the
// alpha source's pixel; R, G, B and the pixels outside the overlap stay. A null argument
// prints "[txtInsertAlpha]: Passed NULL texture pointers (%d , %d)\n" with 1 for a given
// and 0 for a missing texture, and does nothing.
bool txtInsertAlpha(image::Texture* target, const image::Texture* alphaSource);

// True when some pixel's alpha is below 255.
bool HasTransparency(const image::ChunkyImage* image);

inline constexpr const char* kBlenderNeedsAlphaText =
    "This function works only if image contains any information in alpha channel.\n";

// Whether the Blender may open for this image; if it may not, shows the requester
// "Message..." / "OK" with kBlenderNeedsAlphaText and answers false.
bool BlenderCheckTransparency(const image::Texture* texture);

// Flattens an ARGB32 image onto the colour (r, g, b): per colour channel
// c' = (b + (((c - b) * a) >> 8)) modulo 256, then alpha 255.
bool BlendOverBackground(image::Texture* texture, uint8_t r, uint8_t g, uint8_t b);

// The ranges and start values of Glow's parameters.
struct GlowRange {
  int min;
  int max;
  int start;
};
inline constexpr GlowRange kGlowSaturation = {0, 100, 50};
inline constexpr GlowRange kGlowMaskSize = {1, 50, 20};
inline constexpr GlowRange kGlowStrength = {0, 300, 60};
inline constexpr GlowRange kGlowThreshold = {0, 255, 80};
inline constexpr GlowRange kGlowBackground = {0, 100, 80};

// The glow table of step 4: the levels table of low .. high scaled by strength' / 256
// (strength' = strength% * 256 / 100) and limited to 255. A range with low equal to high
// is a step just above low, so an empty glow layer (everything at low) stays empty.
std::array<uint8_t, 256> GlowTable(int low, int high, int strengthFactor);

// Glow of the untouched copy `kept` into `current` (both ARGB32, same size):
// saturation, threshold stretch, Gaussian blur of maskSize, automatic levels scaled by
// strength, then blended over the kept image scaled by background with mode 2 (Add),
// 8 (Multiply) or 32 (Screen). With monochrome the glow is computed on the grey image in
// the alpha byte and applied to all three colours. Any other mode leaves the processed
// glow layer in current. Percentages outside their slider ranges, or a mask size outside
// 0 .. kMaxGaussianRadius, are refused (false, current untouched).
bool Glow(const image::ChunkyImage* kept, image::ChunkyImage* current, int saturation, int maskSize, int strength,
          int threshold, int background, bool monochrome, uint32_t mode);

}  // namespace vl::filters
