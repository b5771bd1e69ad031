#include "filters/convolve_simd.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VL_X86_KERNELS 1
#endif

namespace vl::filters::detail {

namespace {

std::atomic<int> gLimit{static_cast<int>(SimdLevel::kAvx512)};

SimdLevel Detect() {
#ifdef VL_X86_KERNELS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return SimdLevel::kAvx512;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
#endif
  return SimdLevel::kPlain;
}

}  // namespace

SimdLevel SimdLevelInUse() {
  static const SimdLevel best = Detect();
  const int limit = gLimit.load(std::memory_order_relaxed);
  return static_cast<int>(best) < limit ? best : static_cast<SimdLevel>(limit);
}

void SetSimdLimit(SimdLevel limit) {
  gLimit.store(static_cast<int>(limit), std::memory_order_relaxed);
}

#ifdef VL_X86_KERNELS

// Each step widens 16 (AVX2) or 32 (AVX-512) bytes of two taps' pixel sums to 16 bits,
// interleaves them and lets one multiply-add form W[t] * s_t + W[t + 1] * s_t+1 in 32 bits.
// The pixel sums are at most 510 and the weights at most 32767, so each product pair is
// below 2^25 and the 16-bit lanes never wrap. Interleaving works within 128-bit lanes:
// the "low" sums hold elements 0..3 of each group of 8, the "high" ones 4..7, and a
// permute puts them back in order before the store.

__attribute__((target("avx2"))) void ConvolvePairsAvx2(const uint8_t* mid, size_t stride, int count,
                                                       const uint32_t* pairs, int length, int32_t* acc) {
  const int pairCount = length / 2 + 1;
  for (int j0 = 0; j0 < count; j0 += 32) {
    const uint8_t* m = mid + j0;
    __m256i lo[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
    __m256i hi[2] = {_mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int p = 0; p < pairCount; ++p) {
      const int t = 2 * p;
      const __m256i w = _mm256_set1_epi32(static_cast<int>(pairs[p]));
      for (int h = 0; h < 2; ++h) {
        const uint8_t* c = m + 16 * h;
        __m256i s0;
        if (t == 0) {
          s0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)));
        } else {
          s0 =
              _mm256_add_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c - t * stride))),
                               _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + t * stride))));
        }
        __m256i s1 = _mm256_setzero_si256();
        if (t + 1 <= length)
          s1 = _mm256_add_epi16(
              _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c - (t + 1) * stride))),
              _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + (t + 1) * stride))));
        lo[h] = _mm256_add_epi32(lo[h], _mm256_madd_epi16(_mm256_unpacklo_epi16(s0, s1), w));
        hi[h] = _mm256_add_epi32(hi[h], _mm256_madd_epi16(_mm256_unpackhi_epi16(s0, s1), w));
      }
    }
    for (int h = 0; h < 2; ++h) {
      __m256i* out = reinterpret_cast<__m256i*>(acc + j0 + 16 * h);
      _mm256_storeu_si256(out, _mm256_permute2x128_si256(lo[h], hi[h], 0x20));
      _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(lo[h], hi[h], 0x31));
    }
  }
}

__attribute__((target("avx512f,avx512bw"))) void ConvolvePairsAvx512(const uint8_t* mid, size_t stride, int count,
                                                                     const uint32_t* pairs, int length, int32_t* acc) {
  const int pairCount = length / 2 + 1;
  // 64-bit element indices that put the 128-bit groups back in order: lo0 hi0 lo1 hi1 and
  // lo2 hi2 lo3 hi3 (indices 8 and up pick from the second operand).
  const __m512i first = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
  const __m512i second = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
  for (int j0 = 0; j0 < count; j0 += 32) {
    const uint8_t* m = mid + j0;
    __m512i lo = _mm512_setzero_si512();
    __m512i hi = _mm512_setzero_si512();
    for (int p = 0; p < pairCount; ++p) {
      const int t = 2 * p;
      const __m512i w = _mm512_set1_epi32(static_cast<int>(pairs[p]));
      __m512i s0;
      if (t == 0) {
        s0 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m)));
      } else {
        s0 = _mm512_add_epi16(
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m - t * stride))),
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + t * stride))));
      }
      __m512i s1 = _mm512_setzero_si512();
      if (t + 1 <= length)
        s1 = _mm512_add_epi16(
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m - (t + 1) * stride))),
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + (t + 1) * stride))));
      lo = _mm512_add_epi32(lo, _mm512_madd_epi16(_mm512_unpacklo_epi16(s0, s1), w));
      hi = _mm512_add_epi32(hi, _mm512_madd_epi16(_mm512_unpackhi_epi16(s0, s1), w));
    }
    _mm512_storeu_si512(acc + j0, _mm512_permutex2var_epi64(lo, first, hi));
    _mm512_storeu_si512(acc + j0 + 16, _mm512_permutex2var_epi64(lo, second, hi));
  }
}

#else

// Not reached: SimdLevelInUse() answers kPlain on other processors.
void ConvolvePairsAvx2(const uint8_t*, size_t, int, const uint32_t*, int, int32_t*) {}
void ConvolvePairsAvx512(const uint8_t*, size_t, int, const uint32_t*, int, int32_t*) {}

#endif

}  // namespace vl::filters::detail
