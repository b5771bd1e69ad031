// The minimum, maximum and median neighbourhood filters (rank filters) over a rectangular
// or circular mask.
//
// Images first, parameters after; true when the filter ran, false when it did nothing.
// All work on ARGB32 images of equal size, all four bytes alike; destination may be the
// source.
#pragma once

#include <cstdint>
#include <vector>

#include "image/chunky.h"

namespace vl::filters {

// Half-widths hw[k], k = -radius .. radius (stored at index k + radius): row y + k of the
// neighbourhood of (x, y) holds the pixels with |dx| <= hw[k]. Empty for a radius outside
// 0 .. kMaxMaskRadius.
inline constexpr int kMaxMaskRadius = 7;
std::vector<uint8_t> NeighbourhoodMask(int radius, bool circular);

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);

}  // namespace vl::filters
