// Alpha modes shared by the blur, tone and compositing filters, and the radio positions that pick one.
#pragma once

#include <array>

namespace vl::filters {

// Which bytes of an ARGB32 pixel a filter processes. The filters take an AlphaMode and
// refuse (false) a value that is none of the three; IsAlphaMode and the radio conversions
// below check numbers from outside.
enum AlphaMode : int {
  kAlphaOnly = 1,       // A; R, G, B are kept
  kColourOnly = 3,      // R, G, B; A is kept
  kColourAndAlpha = 4,  // A, R, G, B
};

// Radio position -> alpha mode; the value 0, which is no mode, for a position outside 0..2.
inline constexpr AlphaMode AlphaModeFromRadio(int position) {
  switch (position) {
    case 0: return kColourOnly;
    case 1: return kColourAndAlpha;
    case 2: return kAlphaOnly;
    default: return static_cast<AlphaMode>(0);
  }
}

// Alpha mode -> radio position; -1 for a value that is not a mode.
inline constexpr int RadioFromAlphaMode(int mode) {
  switch (mode) {
    case kColourOnly: return 0;
    case kColourAndAlpha: return 1;
    case kAlphaOnly: return 2;
    default: return -1;
  }
}

inline constexpr bool IsAlphaMode(int mode) {
  return RadioFromAlphaMode(mode) >= 0;
}

// The Selective Gaussian Blur tool offers only these two, in this order.
inline constexpr std::array<AlphaMode, 2> kSelectiveAlphaModes = {kColourOnly, kAlphaOnly};

}  // namespace vl::filters
