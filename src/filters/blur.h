// Smoothing filters: box blur, separable Gaussian blur, and the two edge-preserving filters
// (selective Gaussian and selective median) that only average neighbours close in colour.
//
// Every filter takes its images first and its parameters after, and returns true when it
// ran; false means it did nothing (null or mismatched images, a format it does not handle,
// a parameter out of its range, or no memory for a work buffer).
#pragma once

#include <cstdint>
#include <vector>

#include "image/chunky.h"

namespace vl::filters {

// Box blur over [x - radiusX, x + radiusX] x [y - radiusY, y + radiusY], clipped to the
// image (pixels outside are not counted). The radii are limited to width - 1 and
// height - 1; negative radii count as 0. Handles 4-byte pixels (all four bytes averaged)
// and 1-byte pixels. destination may be source; otherwise it must have the source's size
// and format. On a failed work allocation prints "[Blur]: Failed to allocate temp memory
// buffer" and leaves the destination unchanged.
bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY);

// Symmetric line kernel of 2 * length + 1 weights, centre 10000. Empty when the radius is
// not a finite number of at most kMaxGaussianRadius in size (twice the largest the tools
// pass; the cost per pixel grows with the radius).
struct GaussianLineKernel {
  std::vector<int32_t> weights;  // weights[length + k] is the weight of offset k
  int length = 0;
  bool empty() const { return weights.empty(); }
  int32_t at(int k) const { return weights[static_cast<size_t>(length + k)]; }
};
inline constexpr float kMaxGaussianRadius = 100.0f;
GaussianLineKernel GaussianKernel(float radius);

// Separable Gaussian blur in place: every row, then every column. Positions beyond the
// ends of a line read the end pixel; the last pixel of each line keeps its value. Mode 1
// filters alpha only, 3 the colour bytes, 4 all four (ARGB32); 1-byte images have their
// byte filtered. Other formats and modes are left alone (false).
bool GaussianBlur(image::ChunkyImage* image, float radius, int mode);

// The n x n weight table of the selective Gaussian, indexed by (|dy|, |dx|).
struct SelectiveKernel {
  std::vector<int32_t> weights;  // weights[i * n + j]
  int n = 0;
  bool empty() const { return weights.empty(); }
  int32_t at(int i, int j) const { return weights[static_cast<size_t>(i) * n + j]; }
};
inline constexpr float kMaxSelectiveRadius = 20.0f;
SelectiveKernel SelectiveGaussianKernel(float radius);

// Weighted average over the (2n - 1) x (2n - 1) window of the neighbours whose colour sum
// R + G + B (mode 3) or alpha (mode 1) differs from the centre's by less than
// 3 x threshold. ARGB32 only; destination has the source's size (it may be the source).
bool SelectiveGaussian(const image::ChunkyImage* source, image::ChunkyImage* destination, int threshold, int mode,
                       float radius);

// Median of the same neighbours over the window |dx|, |dy| <= size - 1, per channel.
// size runs 1 .. kMaxSelectiveMedianSize.
inline constexpr int kMaxSelectiveMedianSize = 16;
bool SelectiveMedian(const image::ChunkyImage* source, image::ChunkyImage* destination, int size, int threshold,
                     int mode);

}  // namespace vl::filters
