// Unsharp-mask sharpening and the minimum, maximum and median neighbourhood filters.
//
// Images first, parameters after; true when the filter ran, false when it did nothing.
// All work on ARGB32 images of equal size, all four bytes alike; destination may be the
// source.
#pragma once

#include <cstdint>
#include <vector>

#include "image/chunky.h"

namespace vl::filters {

// Box blur (source -> destination, maskSize both ways), then every byte becomes
// s + (((s - b) * k) >> 8), clamped to 0..255, with k = truncate(strength * 255).
bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength);

// Half-widths hw[k], k = -radius .. radius (stored at index k + radius): row y + k of the
// neighbourhood of (x, y) holds the pixels with |dx| <= hw[k]. Empty for a radius outside
// 0 .. kMaxMaskRadius.
inline constexpr int kMaxMaskRadius = 7;
std::vector<uint8_t> NeighbourhoodMask(int radius, bool circular);

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);

// The Median tool's choices, in the order of its radios.
enum MedianMethod : int { kMethodMinimum = 0, kMethodMaximum = 1, kMethodMedian = 2 };
inline constexpr const char* kMedianMethodLabels[] = {"Minimum", "Maximum", "Median"};
inline constexpr const char* kMaskLabels[] = {"Rectangular", "Circular"};

}  // namespace vl::filters
