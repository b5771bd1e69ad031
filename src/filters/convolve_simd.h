// Vector forms of the Gaussian's inner convolution, picked at run time by what the
// processor offers. They give exactly the sums of the plain loop in gaussian_blur.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::filters::detail {

enum class SimdLevel : int { kPlain = 0, kAvx2 = 1, kAvx512 = 2 };

// The best level this processor runs, no higher than the limit (kAvx512 unless lowered).
SimdLevel SimdLevelInUse();

// Caps the level for every later call; tests use it to run each level in turn.
void SetSimdLimit(SimdLevel limit);

// Folded tap weights for the multiply-add instructions: taps t = 0 .. length, with weight
// W[0] = centre and W[t] = weight of offsets +t and -t, taken two at a time; pair p holds
// W[2p] in its low 16 bits and W[2p + 1] (0 past the last tap) in its high 16 bits.
// Every weight must lie in 0 .. 32767.
//
// acc[j] = W[0] * mid[j] + sum over t = 1 .. length of W[t] * (mid[j - t * stride] +
// mid[j + t * stride]) for j < count, in chunks of 32: acc is filled and mid read up to
// the next multiple of 32 past count. Sums must fit int32.
void ConvolvePairsAvx2(const uint8_t* mid, size_t stride, int count, const uint32_t* pairs, int length, int32_t* acc);
void ConvolvePairsAvx512(const uint8_t* mid, size_t stride, int count, const uint32_t* pairs, int length, int32_t* acc);

}  // namespace vl::filters::detail
