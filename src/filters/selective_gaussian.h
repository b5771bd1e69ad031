// Selective Gaussian blur: an edge-preserving blur that only averages neighbours close in
// colour (or in alpha).
//
// True when the filter ran; false means it did nothing (null or mismatched images, a
// format or mode it does not handle, or a radius out of its range).
#pragma once

#include <cstdint>
#include <vector>

#include "filters/alpha_mode.h"
#include "image/chunky.h"

namespace vl::filters {

// The n x n weight table of the selective Gaussian, indexed by (|dy|, |dx|).
struct SelectiveKernel {
  std::vector<int32_t> weights;  // weights[i * n + j]
  int n = 0;
  bool empty() const { return weights.empty(); }
  int32_t at(int i, int j) const { return weights[static_cast<size_t>(i) * n + j]; }
};
inline constexpr float kMaxSelectiveRadius = 20.0f;
SelectiveKernel SelectiveGaussianKernel(float radius);

// Weighted average over the (2n - 1) x (2n - 1) window (n from the radius, as in
// SelectiveGaussianKernel) of the neighbours whose colour sum R + G + B (mode 3) or alpha
// (mode 1) differs from the centre's by less than 3 x threshold. ARGB32 only; destination
// has the source's size (it may be the source).
bool SelectiveGaussian(const image::ChunkyImage* source, image::ChunkyImage* destination, float radius, int threshold,
                       AlphaMode mode);

}  // namespace vl::filters
