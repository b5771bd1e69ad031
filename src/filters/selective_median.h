// Selective median: an edge-preserving median that only takes neighbours close in colour
// (or in alpha).
//
// True when the filter ran; false means it did nothing (null or mismatched images, a
// format or mode it does not handle, or a size out of its range).
#pragma once

#include "filters/alpha_mode.h"
#include "image/chunky.h"

namespace vl::filters {

// Median, per channel, over the window |dx|, |dy| <= size - 1 of the neighbours whose
// colour sum R + G + B (mode 3) or alpha (mode 1) differs from the centre's by less than
// 3 x threshold; the other bytes are copied. size runs 1 .. kMaxSelectiveMedianSize.
// ARGB32 only; destination has the source's size (it may be the source).
inline constexpr int kMaxSelectiveMedianSize = 16;
bool SelectiveMedian(const image::ChunkyImage* source, image::ChunkyImage* destination, int size, int threshold,
                     AlphaMode mode);

}  // namespace vl::filters
