// What the selective Gaussian and the selective median share: the value they compare
// between neighbours and their argument check.
#pragma once

#include <cstdint>

#include "filters/alpha_mode.h"
#include "filters/filter_util.h"
#include "image/chunky.h"

namespace vl::filters::detail {

// The value a selective filter compares: R + G + B for mode 3, alpha for mode 1.
inline int SelectiveKey(const uint8_t* p, AlphaMode mode) {
  return mode == kAlphaOnly ? p[0] : p[1] + p[2] + p[3];
}

inline bool SelectiveArgs(const image::ChunkyImage* source, const image::ChunkyImage* destination, AlphaMode mode) {
  return SameShape(source, destination) && source->format == image::ARGB32 &&
         (mode == kColourOnly || mode == kAlphaOnly);
}

}  // namespace vl::filters::detail
