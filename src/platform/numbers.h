// Conversions of numbers that several layers share.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>

namespace vl::platform {

// truncate(value) as a whole number: not-a-number gives the most negative 32-bit number,
// values beyond the 32-bit range saturate.
inline int32_t Truncate(double v) {
  if (std::isnan(v)) return INT32_MIN;
  if (v >= 2147483648.0) return INT32_MAX;
  if (v <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace vl::platform
