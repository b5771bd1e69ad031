// Division of bounded unsigned values by a constant as one multiply and one shift, with the
// same result as the integer division.
#pragma once

#include <bit>
#include <cstdint>

namespace vl::filters::detail {

// Computes x / divisor (truncating) for every 0 <= x <= limit.
//
// Why it is exact: let 2^shift be the smallest power of two above limit * divisor and
// multiplier = ceil(2^shift / divisor), so multiplier * divisor = 2^shift + e with
// 0 <= e < divisor. Then
//   x * multiplier / 2^shift = x / divisor + x * e / (divisor * 2^shift),
// and since x * e <= limit * (divisor - 1) < 2^shift, the second term is below 1 / divisor.
// Writing x = q * divisor + f with 0 <= f <= divisor - 1, the sum is below
// q + (divisor - 1) / divisor + 1 / divisor = q + 1 and at least q, so its floor is q.
// Sizes: 2^shift <= 2 * limit * divisor, so multiplier <= 2 * limit + 1 < 2^32 for
// limit < 2^31, and x * multiplier < 2^63 fits the 64-bit product.
struct ExactDivider {
  uint32_t multiplier = 0;
  int shift = 0;

  // False when divisor is 0 or the bounds do not hold (limit >= 2^31, divisor >= 2^31).
  bool Init(uint32_t divisor, uint32_t limit) {
    if (divisor == 0 || divisor >= (1u << 31) || limit >= (1u << 31)) return false;
    const uint64_t span = uint64_t{limit} * divisor;  // < 2^62
    shift = std::bit_width(span);                     // 2^shift > span
    multiplier = static_cast<uint32_t>(((uint64_t{1} << shift) + divisor - 1) / divisor);
    return true;
  }

  // Both factors are below 2^32, so the product is one 32 x 32 -> 64-bit multiply.
  uint32_t operator()(uint32_t x) const { return static_cast<uint32_t>((uint64_t{x} * uint64_t{multiplier}) >> shift); }
};

}  // namespace vl::filters::detail
