// The blend modes of the glow and of the layer chooser, as bit values.
#pragma once

#include <cstdint>

namespace vl::filters {

enum BlendMode : uint32_t {
  kBlendNormal = 1,
  kBlendAdd = 2,
  kBlendSubstract = 4,
  kBlendMultiply = 8,
  kBlendDivide = 16,
  kBlendScreen = 32,
  kBlendDodge = 64,
  kBlendBurn = 128,
};

inline constexpr uint32_t kAllBlendModes = 0xFF;
// Glow offers Add and Screen and hides the opacity slider.
inline constexpr uint32_t kGlowBlendModes = kBlendAdd | kBlendScreen;  // 34

// True for the modes that have a pixel rule (Add, Multiply, Screen).
bool BlendHasPixelRule(uint32_t value);

}  // namespace vl::filters
