#include "filters/blend_mode.h"

namespace vl::filters {

bool BlendHasPixelRule(uint32_t value) {
  return value == kBlendAdd || value == kBlendMultiply || value == kBlendScreen;
}

}  // namespace vl::filters
