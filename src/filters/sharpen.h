// Unsharp-mask sharpening.
//
// Images first, parameters after; true when the filter ran, false when it did nothing.
// Works on ARGB32 images of equal size, all four bytes alike; destination may be the
// source.
#pragma once

#include "image/chunky.h"

namespace vl::filters {

// Box blur (source -> destination, maskSize both ways), then every byte becomes
// s + (((s - b) * k) >> 8), clamped to 0..255, with k = truncate(strength * 255).
bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength);

}  // namespace vl::filters
