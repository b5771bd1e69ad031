// Separable Gaussian blur in place, and its line kernel.
//
// True when the filter ran; false means it did nothing (a null image, a format or mode it
// does not handle, a radius out of its range, or no memory for a work buffer).
#pragma once

#include <cstdint>
#include <vector>

#include "filters/alpha_mode.h"
#include "image/chunky.h"

namespace vl::filters {

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
bool GaussianBlur(image::ChunkyImage* image, float radius, AlphaMode mode);

}  // namespace vl::filters
