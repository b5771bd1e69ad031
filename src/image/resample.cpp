#include "image/resample.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include "image/pool.h"
#include "platform/cpu.h"
#include "platform/thread_pool.h"

namespace vl::image {

namespace {

// Scratch memory from the pixel pool, released with the scope.
struct PoolFree {
  void operator()(void* p) const { Free(p); }
};
template <typename T>
using PoolArray = std::unique_ptr<T[], PoolFree>;

template <typename T>
PoolArray<T> AllocateArray(size_t count) {
  if (count == 0 || count > static_cast<size_t>(kMaxBufferBytes) / sizeof(T)) return PoolArray<T>();
  return PoolArray<T>(static_cast<T*>(Allocate(count * sizeof(T))));
}

// Truncation toward zero that stays defined for NaN and values beyond 32 bits.
int32_t TruncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Mirrors a source index at the edges (-1 reads 1, size reads size - 1); an index that is
// still outside a source narrower than the kernel's reach is clamped to the nearest edge.
int32_t MirrorIndex(int64_t j, int32_t size) {
  int64_t k = j;
  if (j < 0)
    k = -j;
  else if (j >= size)
    k = 2 * int64_t{size} - j - 1;
  if (k < 0) k = 0;
  if (k > size - 1) k = size - 1;
  return static_cast<int32_t>(k);
}

inline double Sinc(double x) {
  if (x == 0.0) return 1.0;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

const MethodInfo kMethods[kMethodCount] = {
    {"Box", "box", BoxKernel, 0.5},
    {"Triangle", "triangle", TriangleKernel, 1.0},
    {"Bell", "bell", BellKernel, 1.5},
    {"B-Spline", "spline", BSplineKernel, 2.0},
    {"Bilinear", nullptr, HermiteKernel, 1.0},
    {"Lanczos", "lanczos", LanczosKernel, 3.0},
    {"Mitchell", "mitchell", MitchellKernel, 2.0},
};

// One output pixel: the weighted sum of every byte of the listed source pixels.
template <int kBpp>
inline void FilterPixel(const uint8_t* line, const Contribution* list, int32_t count, uint8_t* out) {
  int32_t sum[kBpp] = {};
  for (int32_t k = 0; k < count; ++k) {
    const uint8_t* p = line + static_cast<size_t>(list[k].pixel) * kBpp;
    const int32_t w = list[k].weight;
    for (int c = 0; c < kBpp; ++c) sum[c] += int32_t{p[c]} * w;
  }
  for (int c = 0; c < kBpp; ++c) out[c] = ClampChannel(WeightedSumToValue(sum[c]));
}

// AVX2 versions of the two inner loops. The sums are the same 32-bit integer sums as the
// scalar code's, only added in another grouping; integer addition is associative and the
// sums stay far inside 32 bits (|weights| add up to a small multiple of kWeightOne, times
// 255), so every byte comes out identical.
inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// One ARGB32 output pixel: two taps per step, their four channels side by side in the two
// halves of one register.
__attribute__((target("avx2"))) void FilterPixel4Avx2(const uint8_t* line, const Contribution* list, int32_t count,
                                                      uint8_t* out) {
  __m256i acc = _mm256_setzero_si256();
  int32_t k = 0;
  for (; k + 1 < count; k += 2) {
    const uint32_t a = LoadPixel(line + static_cast<size_t>(list[k].pixel) * 4);
    const uint32_t b = LoadPixel(line + static_cast<size_t>(list[k + 1].pixel) * 4);
    const __m256i px = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>((uint64_t{b} << 32) | a)));
    const __m256i w = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(list[k].weight)),
                                              _mm_set1_epi32(list[k + 1].weight), 1);
    acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(px, w));
  }
  __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  if (k < count) {
    const __m128i px = _mm_cvtepu8_epi32(
        _mm_cvtsi32_si128(static_cast<int>(LoadPixel(line + static_cast<size_t>(list[k].pixel) * 4))));
    sum = _mm_add_epi32(sum, _mm_mullo_epi32(px, _mm_set1_epi32(list[k].weight)));
  }
  alignas(16) int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
  for (int c = 0; c < 4; ++c) out[c] = ClampChannel(WeightedSumToValue(lanes[c]));
}

// WeightedSumToValue and ClampChannel on eight sums at once: the division by 2^20
// truncates toward zero, so negative sums are biased by 2^20 - 1 before the shift.
__attribute__((target("avx2"))) inline __m256i SumsToValues(__m256i s) {
  const __m256i bias = _mm256_and_si256(_mm256_srai_epi32(s, 31), _mm256_set1_epi32(kWeightOne - 1));
  const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(s, bias), 20);
  return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// One destination row of the vertical pass: out[b] = the weighted sum of in_k[b] over the
// listed rows, 32 bytes at a time with the sums in registers, then the scalar rest.
__attribute__((target("avx2"))) void VerticalRowAvx2(const uint8_t* pixels, size_t stride, const Contribution* list,
                                                     int32_t count, uint8_t* out) {
  size_t b = 0;
  for (; b + 32 <= stride; b += 32) {
    __m256i acc0 = _mm256_setzero_si256(), acc1 = acc0, acc2 = acc0, acc3 = acc0;
    for (int32_t k = 0; k < count; ++k) {
      const uint8_t* in = pixels + static_cast<size_t>(list[k].pixel) * stride + b;
      const __m256i w = _mm256_set1_epi32(list[k].weight);
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
      acc0 = _mm256_add_epi32(acc0, _mm256_mullo_epi32(_mm256_cvtepu8_epi32(lo), w));
      acc1 = _mm256_add_epi32(acc1, _mm256_mullo_epi32(_mm256_cvtepu8_epi32(_mm_srli_si128(lo, 8)), w));
      acc2 = _mm256_add_epi32(acc2, _mm256_mullo_epi32(_mm256_cvtepu8_epi32(hi), w));
      acc3 = _mm256_add_epi32(acc3, _mm256_mullo_epi32(_mm256_cvtepu8_epi32(_mm_srli_si128(hi, 8)), w));
    }
    // Pack the 32 values (each 0..255) back to bytes in their original order.
    const __m256i v01 = _mm256_packs_epi32(SumsToValues(acc0), SumsToValues(acc1));
    const __m256i v23 = _mm256_packs_epi32(SumsToValues(acc2), SumsToValues(acc3));
    __m256i bytes = _mm256_packus_epi16(v01, v23);
    // The packs work within 128-bit lanes: reorder the 4-byte groups to 0 2 4 6 1 3 5 7.
    bytes = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b), bytes);
  }
  for (; b < stride; ++b) {
    int32_t sum = 0;
    for (int32_t k = 0; k < count; ++k)
      sum += int32_t{pixels[static_cast<size_t>(list[k].pixel) * stride + b]} * list[k].weight;
    out[b] = ClampChannel(WeightedSumToValue(sum));
  }
}

// Filters source rows [y0, y1) into temp, each row through its own copy. False when the
// row copy cannot be had.
template <int kBpp>
bool HorizontalRows(ChunkyImage* temp, const ChunkyImage* source, const ContributionTable& table, int64_t y0,
                    int64_t y1) {
  const size_t rowBytes = static_cast<size_t>(source->width) * kBpp;
  const size_t outRowBytes = static_cast<size_t>(temp->width) * kBpp;
  PoolArray<uint8_t> row = AllocateArray<uint8_t>(rowBytes);
  if (!row) return false;
  for (int64_t y = y0; y < y1; ++y) {
    std::memcpy(row.get(), source->pixels + static_cast<size_t>(y) * rowBytes, rowBytes);
    uint8_t* out = temp->pixels + static_cast<size_t>(y) * outRowBytes;
    for (int32_t i = 0; i < temp->width; ++i)
      FilterPixel<kBpp>(row.get(), table.list(i), table.count(i), out + i * kBpp);
  }
  return true;
}

// The contribution lists of an ARGB32 horizontal pass laid out for the AVX2 loop, built once
// per pass: a list whose source pixels are consecutive keeps its first pixel and its
// weights, taken four taps at a time (a list whose count is not a multiple of four ends with
// taps of weight 0, which add nothing). Each weight w is split into w >> 10 and w & 1023, both
// 16-bit, so that the loop multiplies 16-bit pixels by 16-bit weights and adds pairs in one
// step; the sum is (high sum << 10) + low sum, the same integer as the sum of pixel x weight.
// Lists mirrored at the edges, lists whose zero taps would lie past the end of the row, and
// weights too large to split keep the general loop.
struct WideTable {
  static constexpr int kTaps = 4;  // taps a group
  std::vector<int32_t> first;      // first source pixel; -1 for the general loop
  std::vector<size_t> offset;      // where the list's groups start (in groups)
  std::vector<int32_t> groups;     // groups of taps in the list
  std::vector<int16_t> high, low;  // 16 a group: w0 w1 w0 w1 w0 w1 w0 w1 w2 w3 w2 w3 ...

  bool Build(const ContributionTable& table, int32_t sourceWidth) {
    try {
      const int32_t n = table.size();
      first.assign(static_cast<size_t>(n), -1);
      offset.assign(static_cast<size_t>(n), 0);
      groups.assign(static_cast<size_t>(n), 0);
      size_t total = 0;
      for (int32_t i = 0; i < n; ++i) {
        const Contribution* list = table.list(i);
        const int32_t count = table.count(i);
        const int32_t padded = (count + kTaps - 1) / kTaps * kTaps;
        bool usable = count > 0 && int64_t{list[0].pixel} + padded <= sourceWidth;
        for (int32_t k = 0; k < count && usable; ++k)
          usable = list[k].pixel == list[0].pixel + k && list[k].weight >> 10 >= -32768 && list[k].weight >> 10 < 32768;
        if (!usable) continue;
        first[static_cast<size_t>(i)] = list[0].pixel;
        offset[static_cast<size_t>(i)] = total;
        groups[static_cast<size_t>(i)] = padded / kTaps;
        total += static_cast<size_t>(padded / kTaps);
      }
      high.assign(total * 16, 0);
      low.assign(total * 16, 0);
      for (int32_t i = 0; i < n; ++i) {
        if (first[static_cast<size_t>(i)] < 0) continue;
        const Contribution* list = table.list(i);
        const size_t base = offset[static_cast<size_t>(i)] * 16;
        for (int32_t k = 0; k < table.count(i); ++k) {
          // Tap k is pixel k % 4 of its group: pixels 0 and 1 fill the group's low eight
          // entries, 2 and 3 its high eight, alternating within each pair.
          const size_t at = base + static_cast<size_t>(k / kTaps) * 16 + static_cast<size_t>((k % kTaps) / 2) * 8 +
                            static_cast<size_t>(k % 2);
          for (size_t c = 0; c < 4; ++c) {
            high[at + 2 * c] = static_cast<int16_t>(list[k].weight >> 10);
            low[at + 2 * c] = static_cast<int16_t>(list[k].weight & 1023);
          }
        }
      }
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
};

// kRows ARGB32 rows (rows[r], read in place) through the wide table into out[r]. Four source
// pixels at a time: their bytes are put channel by channel in pixel pairs (p0 p1 of each
// channel, then p2 p3), widened to 16 bits and multiplied-and-added by the weight pairs, so
// each 32-bit lane sums one channel of two pixels. Each group's weights are loaded once for
// all the rows.
template <int kRows>
__attribute__((target("avx2"))) void FilterWideRowsAvx2(const uint8_t* const* rows, uint8_t* const* out,
                                                        const ContributionTable& table, const WideTable& wide,
                                                        int32_t width) {
  const __m128i pairUp = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  for (int32_t i = 0; i < width; ++i) {
    const int32_t first = wide.first[static_cast<size_t>(i)];
    if (first < 0) {
      for (int r = 0; r < kRows; ++r) FilterPixel4Avx2(rows[r], table.list(i), table.count(i), out[r] + i * 4);
      continue;
    }
    const size_t base = wide.offset[static_cast<size_t>(i)] * 16;
    const size_t at = static_cast<size_t>(first) * 4;
    __m256i high[kRows], low[kRows];
    for (int r = 0; r < kRows; ++r) high[r] = low[r] = _mm256_setzero_si256();
    for (int32_t g = 0, n = wide.groups[static_cast<size_t>(i)]; g < n; ++g) {
      const __m256i wh = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wide.high.data() + base + 16 * size_t(g)));
      const __m256i wl = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wide.low.data() + base + 16 * size_t(g)));
      for (int r = 0; r < kRows; ++r) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + at + 16 * size_t(g)));
        const __m256i p16 = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(px, pairUp));
        high[r] = _mm256_add_epi32(high[r], _mm256_madd_epi16(p16, wh));
        low[r] = _mm256_add_epi32(low[r], _mm256_madd_epi16(p16, wl));
      }
    }
    for (int r = 0; r < kRows; ++r) {
      const __m256i sums = _mm256_add_epi32(_mm256_slli_epi32(high[r], 10), low[r]);
      const __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
      alignas(16) int32_t lanes[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
      for (int c = 0; c < 4; ++c) out[r][i * 4 + c] = ClampChannel(WeightedSumToValue(lanes[c]));
    }
  }
}

// HorizontalRows for ARGB32 with the AVX2 loops, four rows at a time. The source is read in
// place: the table never reaches past a row's last pixel.
void HorizontalRowsAvx2(ChunkyImage* temp, const ChunkyImage* source, const ContributionTable& table,
                        const WideTable& wide, int64_t y0, int64_t y1) {
  const size_t rowBytes = static_cast<size_t>(source->width) * 4;
  const size_t outRowBytes = static_cast<size_t>(temp->width) * 4;
  auto in = [&](int64_t y) { return source->pixels + static_cast<size_t>(y) * rowBytes; };
  auto out = [&](int64_t y) { return temp->pixels + static_cast<size_t>(y) * outRowBytes; };
  int64_t y = y0;
  for (; y + 4 <= y1; y += 4) {
    const uint8_t* rows[4] = {in(y), in(y + 1), in(y + 2), in(y + 3)};
    uint8_t* outs[4] = {out(y), out(y + 1), out(y + 2), out(y + 3)};
    FilterWideRowsAvx2<4>(rows, outs, table, wide, temp->width);
  }
  for (; y < y1; ++y) {
    const uint8_t* rows[1] = {in(y)};
    uint8_t* outs[1] = {out(y)};
    FilterWideRowsAvx2<1>(rows, outs, table, wide, temp->width);
  }
}

// Rows are independent: pieces of rows go to the thread pool, each with its own row copy.
template <int kBpp>
bool HorizontalPass(ChunkyImage* temp, const ChunkyImage* source, const ContributionTable& table) {
  const size_t outRowBytes = static_cast<size_t>(temp->width) * kBpp;
  std::atomic<bool> ok{true};
  WideTable wide;
  if (kBpp == 4 && platform::CpuHasAvx2() && wide.Build(table, source->width)) {
    platform::ParallelFor(0, source->height, platform::GrainFor(static_cast<int64_t>(outRowBytes) * 4),
                          [&](int64_t y0, int64_t y1) { HorizontalRowsAvx2(temp, source, table, wide, y0, y1); });
    return true;
  }
  platform::ParallelFor(0, source->height, platform::GrainFor(static_cast<int64_t>(outRowBytes) * 4),
                        [&](int64_t y0, int64_t y1) {
                          if (!HorizontalRows<kBpp>(temp, source, table, y0, y1)) ok = false;
                        });
  return ok;
}

// Each destination row is the weighted sum of whole source rows. The sums of every byte
// are kept side by side in a row of accumulators, adding the listed rows in list order, so
// each byte sees exactly the products and sums of FilterPixel, and the inner loop runs
// along contiguous memory.
template <int kBpp>
bool VerticalPass(ChunkyImage* destination, const ChunkyImage* temp, const ContributionTable& table) {
  const size_t stride = static_cast<size_t>(temp->width) * kBpp;
  std::atomic<bool> ok{true};
  if (platform::CpuHasAvx2()) {
    platform::ParallelFor(0, destination->height, platform::GrainFor(static_cast<int64_t>(stride) * 4),
                          [&](int64_t y0, int64_t y1) {
                            for (int64_t y = y0; y < y1; ++y)
                              VerticalRowAvx2(temp->pixels, stride, table.list(static_cast<int32_t>(y)),
                                              table.count(static_cast<int32_t>(y)),
                                              destination->pixels + static_cast<size_t>(y) * stride);
                          });
    return true;
  }
  platform::ParallelFor(0, destination->height, platform::GrainFor(static_cast<int64_t>(stride) * 4),
                        [&](int64_t y0, int64_t y1) {
                          PoolArray<int32_t> sums = AllocateArray<int32_t>(stride);
                          if (!sums) {
                            ok = false;
                            return;
                          }
                          int32_t* acc = sums.get();
                          for (int64_t y = y0; y < y1; ++y) {
                            const Contribution* list = table.list(static_cast<int32_t>(y));
                            const int32_t count = table.count(static_cast<int32_t>(y));
                            std::fill(acc, acc + stride, 0);
                            for (int32_t k = 0; k < count; ++k) {
                              const uint8_t* in = temp->pixels + static_cast<size_t>(list[k].pixel) * stride;
                              const int32_t w = list[k].weight;
                              for (size_t b = 0; b < stride; ++b) acc[b] += int32_t{in[b]} * w;
                            }
                            uint8_t* out = destination->pixels + static_cast<size_t>(y) * stride;
                            for (size_t b = 0; b < stride; ++b) out[b] = ClampChannel(WeightedSumToValue(acc[b]));
                          }
                        });
  return ok;
}

// The serial reference passes: one row, then one column, at a time.
template <int kBpp>
bool HorizontalPassPlain(ChunkyImage* temp, const ChunkyImage* source, const ContributionTable& table) {
  return HorizontalRows<kBpp>(temp, source, table, 0, source->height);
}

template <int kBpp>
bool VerticalPassPlain(ChunkyImage* destination, const ChunkyImage* temp, const ContributionTable& table) {
  const size_t stride = static_cast<size_t>(temp->width) * kBpp;
  PoolArray<uint8_t> column = AllocateArray<uint8_t>(static_cast<size_t>(temp->height) * kBpp);
  if (!column) return false;
  for (int32_t x = 0; x < destination->width; ++x) {
    const uint8_t* in = temp->pixels + static_cast<size_t>(x) * kBpp;
    for (int32_t y = 0; y < temp->height; ++y) std::memcpy(column.get() + y * kBpp, in + y * stride, kBpp);
    uint8_t* out = destination->pixels + static_cast<size_t>(x) * kBpp;
    for (int32_t y = 0; y < destination->height; ++y)
      FilterPixel<kBpp>(column.get(), table.list(y), table.count(y), out + static_cast<size_t>(y) * stride);
  }
  return true;
}

template <int kBpp>
int ResampleWith(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support, bool plain) {
  ChunkyPtr temp(chk_Create(destination->width, source->height, source->format, false));
  if (!temp) return 1;
  {
    ContributionTable table;
    if (!table.Build(destination->width, source->width, kernel, support)) return 1;
    const bool ok =
        plain ? HorizontalPassPlain<kBpp>(temp.get(), source, table) : HorizontalPass<kBpp>(temp.get(), source, table);
    if (!ok) return 1;
  }
  ContributionTable table;
  if (!table.Build(destination->height, source->height, kernel, support)) return 1;
  const bool ok = plain ? VerticalPassPlain<kBpp>(destination, temp.get(), table)
                        : VerticalPass<kBpp>(destination, temp.get(), table);
  return ok ? 0 : 1;
}

bool UsableImage(const ChunkyImage* image) {
  return image && image->pixels && SizeAllowed(image->width, image->height, image->format);
}

inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// 16.16 stepping of QuickScale along one axis: the step, and for a position the two source
// indices (the second one held at the edge of a one-pixel source) and the weights.
struct Step {
  int64_t step;
  int32_t last;
};
inline Step MakeStep(int32_t sourceSize, int32_t newSize) {
  return {(static_cast<int64_t>(sourceSize - 1) << 16) / newSize, sourceSize - 1};
}
struct Tap {
  int32_t i0, i1;
  uint32_t w0, w1;
};
inline Tap TapAt(int64_t f, int32_t last) {
  Tap t;
  int64_t i = f >> 16;
  t.i0 = static_cast<int32_t>(i > last ? last : i);
  t.i1 = static_cast<int32_t>(i + 1 > last ? last : i + 1);
  t.w1 = static_cast<uint32_t>(f & 0xFFFF);
  t.w0 = 65535u - t.w1;
  return t;
}

void QuickScaleRGB24(const ChunkyImage& src, ChunkyImage& dst, int32_t yBegin, int32_t yEnd) {
  const Step sx = MakeStep(src.width, dst.width), sy = MakeStep(src.height, dst.height);
  const size_t stride = static_cast<size_t>(src.width) * 3;
  uint8_t* out = dst.pixels + static_cast<size_t>(yBegin) * dst.width * 3;
  int64_t fy = sy.step * yBegin;
  for (int32_t y = yBegin; y < yEnd; ++y, fy += sy.step) {
    const Tap ty = TapAt(fy, sy.last);
    const uint8_t* r0 = src.pixels + static_cast<size_t>(ty.i0) * stride;
    const uint8_t* r1 = src.pixels + static_cast<size_t>(ty.i1) * stride;
    int64_t fx = 0;
    for (int32_t x = 0; x < dst.width; ++x, fx += sx.step, out += 3) {
      const Tap tx = TapAt(fx, sx.last);
      const uint32_t w00 = (tx.w0 * ty.w0) >> 16;
      const uint32_t w01 = (tx.w1 * ty.w0) >> 16;
      const uint32_t w10 = (tx.w0 * ty.w1) >> 16;
      const uint32_t w11 = 65536u - w00 - w01 - w10;
      const uint8_t* p00 = r0 + static_cast<size_t>(tx.i0) * 3;
      const uint8_t* p01 = r0 + static_cast<size_t>(tx.i1) * 3;
      const uint8_t* p10 = r1 + static_cast<size_t>(tx.i0) * 3;
      const uint8_t* p11 = r1 + static_cast<size_t>(tx.i1) * 3;
      for (int c = 0; c < 3; ++c)
        out[c] = static_cast<uint8_t>((p00[c] * w00 + p01[c] * w01 + p10[c] * w10 + p11[c] * w11) >> 16);
    }
  }
}

// RGBA32 and ARGB32: 7-bit weights, two channels per multiplication in the 0x00FF00FF and
// 0xFF00FF00 lanes of the pixel word.
void QuickScale32(const ChunkyImage& src, ChunkyImage& dst, int32_t yBegin, int32_t yEnd) {
  const Step sx = MakeStep(src.width, dst.width), sy = MakeStep(src.height, dst.height);
  const size_t stride = static_cast<size_t>(src.width) * 4;
  constexpr uint32_t kLanes = 0x00FF00FFu;
  uint8_t* out = dst.pixels + static_cast<size_t>(yBegin) * dst.width * 4;
  int64_t fy = sy.step * yBegin;
  for (int32_t y = yBegin; y < yEnd; ++y, fy += sy.step) {
    const Tap ty = TapAt(fy, sy.last);
    const uint8_t* r0 = src.pixels + static_cast<size_t>(ty.i0) * stride;
    const uint8_t* r1 = src.pixels + static_cast<size_t>(ty.i1) * stride;
    int64_t fx = 0;
    for (int32_t x = 0; x < dst.width; ++x, fx += sx.step, out += 4) {
      const Tap tx = TapAt(fx, sx.last);
      const uint32_t w00 = (tx.w0 * ty.w0) >> 25;
      const uint32_t w01 = (tx.w1 * ty.w0) >> 25;
      const uint32_t w10 = (tx.w0 * ty.w1) >> 25;
      const uint32_t w11 = 128u - w00 - w01 - w10;
      const uint32_t p00 = Load32(r0 + static_cast<size_t>(tx.i0) * 4);
      const uint32_t p01 = Load32(r0 + static_cast<size_t>(tx.i1) * 4);
      const uint32_t p10 = Load32(r1 + static_cast<size_t>(tx.i0) * 4);
      const uint32_t p11 = Load32(r1 + static_cast<size_t>(tx.i1) * 4);
      const uint32_t low =
          (((p00 & kLanes) * w00 + (p01 & kLanes) * w01 + (p10 & kLanes) * w10 + (p11 & kLanes) * w11) >> 7) & kLanes;
      const uint32_t high = ((((p00 >> 8) & kLanes) * w00 + ((p01 >> 8) & kLanes) * w01 + ((p10 >> 8) & kLanes) * w10 +
                              ((p11 >> 8) & kLanes) * w11) *
                             2) &
                            ~kLanes;
      Store32(out, high | low);
    }
  }
}

void QuickScaleNearest(const ChunkyImage& src, ChunkyImage& dst, int32_t yBegin, int32_t yEnd) {
  const bool accessors = PixelAccessSupported(src.format);
  const int bpp = BytesPerPixel(src.format);
  for (int32_t y = yBegin; y < yEnd; ++y) {
    const int32_t syi = static_cast<int32_t>(int64_t{y} * src.height / dst.height);
    for (int32_t x = 0; x < dst.width; ++x) {
      const int32_t sxi = static_cast<int32_t>(int64_t{x} * src.width / dst.width);
      if (accessors) {
        uint8_t a = 0, r = 0, g = 0, b = 0;
        GetPixel(&src, sxi, syi, a, r, g, b);
        SetPixel(&dst, x, y, a, r, g, b);
      } else {
        // Formats the accessors cannot carry are copied byte for byte.
        std::memcpy(dst.pixels + (static_cast<size_t>(y) * dst.width + x) * bpp,
                    src.pixels + (static_cast<size_t>(syi) * src.width + sxi) * bpp, bpp);
      }
    }
  }
}

}  // namespace

bool PixelAccessSupported(uint32_t format) {
  switch (format) {
    case RGB24:
    case RGB565:
    case ARGB4444:
    case ARGB32:
    case GREY8:
    case ALPHA8: return true;
    default: return false;
  }
}

double BoxKernel(double t) {
  return (t > -0.5 && t <= 0.5) ? 1.0 : 0.0;
}

double TriangleKernel(double t) {
  const double a = std::fabs(t);
  return a < 1.0 ? 1.0 - a : 0.0;
}

double BellKernel(double t) {
  const double a = std::fabs(t);
  if (a < 0.5) return 0.75 - a * a;
  if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
  return 0.0;
}

double BSplineKernel(double t) {
  const double a = std::fabs(t);
  if (a < 1.0) return a * a * a / 2.0 - a * a + 2.0 / 3.0;
  if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
  return 0.0;
}

double HermiteKernel(double t) {
  const double a = std::fabs(t);
  return a < 1.0 ? (2.0 * a - 3.0) * a * a + 1.0 : 0.0;
}

double LanczosKernel(double t) {
  const double a = std::fabs(t);
  return a < 3.0 ? Sinc(t) * Sinc(t / 3.0) : 0.0;
}

double MitchellKernel(double t) {
  const double a = std::fabs(t);
  if (a < 1.0) return (7.0 * a * a * a - 12.0 * a * a + 16.0 / 3.0) / 6.0;
  if (a < 2.0) return (-7.0 / 3.0 * a * a * a + 12.0 * a * a - 20.0 * a + 32.0 / 3.0) / 6.0;
  return 0.0;
}

const MethodInfo* GetMethodInfo(int method) {
  if (method < 0 || method >= kMethodCount) return nullptr;
  return &kMethods[method];
}

ContributionTable::~ContributionTable() {
  Release();
}

void ContributionTable::Release() {
  Free(counts_);
  Free(pairs_);
  counts_ = nullptr;
  pairs_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

bool ContributionTable::Build(int32_t destinationSize, int32_t sourceSize, Kernel kernel, double support) {
  Release();
  if (destinationSize <= 0 || sourceSize <= 0 || !kernel || !std::isfinite(support) || !(support > 0.0)) return false;
  const double scale = static_cast<double>(destinationSize) / static_cast<double>(sourceSize);
  const bool reducing = scale < 1.0;
  const double s = reducing ? 1.0 / scale : 1.0;
  const double width = reducing ? support * s : support;
  const double reserve = std::trunc(2.0 * width + 1.0);
  if (!(reserve < 1073741824.0)) return false;
  // One pair beyond truncate(2 x width + 1): rounding of center +- width may admit one more
  // index than the exact arithmetic would.
  const size_t capacity = static_cast<size_t>(reserve) + 1;
  if (capacity > static_cast<size_t>(kMaxBufferBytes) / sizeof(Contribution) / static_cast<size_t>(destinationSize))
    return false;
  PoolArray<int32_t> counts = AllocateArray<int32_t>(static_cast<size_t>(destinationSize));
  PoolArray<Contribution> pairs = AllocateArray<Contribution>(capacity * static_cast<size_t>(destinationSize));
  if (!counts || !pairs) return false;

  for (int32_t i = 0; i < destinationSize; ++i) {
    double center, left, right;
    if (!reducing) {
      center = i / scale;
      left = std::ceil(center - support);
      right = std::floor(center + support);
    } else {
      center = i * s;
      left = std::ceil(center - support * s);
      right = std::floor(center + support * s);
    }
    Contribution* out = pairs.get() + static_cast<size_t>(i) * capacity;
    size_t n = 0;
    for (int64_t j = static_cast<int64_t>(left); j <= static_cast<int64_t>(right) && n < capacity; ++j, ++n) {
      const double weight =
          reducing ? kernel((center - static_cast<double>(j)) / s) / s : kernel(center - static_cast<double>(j));
      out[n].pixel = MirrorIndex(j, sourceSize);
      out[n].weight = TruncToInt32(weight * kWeightOne);
    }
    if (n == 0) {
      // Only a support narrower than half a pixel can leave a list empty.
      out[0] = {MirrorIndex(static_cast<int64_t>(std::floor(center + 0.5)), sourceSize), kWeightOne};
      n = 1;
    }
    // The remainder of the sum goes to the weight that is greatest as an unsigned 32-bit
    // number (so a negative weight beats every positive one); the first such weight wins.
    int64_t sum = 0;
    size_t best = 0;
    for (size_t k = 0; k < n; ++k) {
      sum += out[k].weight;
      if (static_cast<uint32_t>(out[k].weight) > static_cast<uint32_t>(out[best].weight)) best = k;
    }
    out[best].weight = static_cast<int32_t>(out[best].weight + (kWeightOne - sum));
    counts[i] = static_cast<int32_t>(n);
  }
  counts_ = counts.release();
  pairs_ = pairs.release();
  size_ = destinationSize;
  capacity_ = capacity;
  return true;
}

namespace {

int ResampleChecked(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support, bool plain) {
  if (!UsableImage(destination) || !UsableImage(source) || !kernel) return 1;
  if (destination->format != source->format) return 1;
  switch (BytesPerPixel(source->format)) {
    case 4: return ResampleWith<4>(destination, source, kernel, support, plain);
    case 1: return ResampleWith<1>(destination, source, kernel, support, plain);
    default: return 1;
  }
}

}  // namespace

int Resample(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support) {
  return ResampleChecked(destination, source, kernel, support, false);
}

int ResamplePlain(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support) {
  return ResampleChecked(destination, source, kernel, support, true);
}

ChunkyImage* ScaleImage(const ChunkyImage* source, int32_t width, int32_t height, int method) {
  const MethodInfo* info = GetMethodInfo(method);
  if (!info || !UsableImage(source)) return nullptr;
  const int bpp = BytesPerPixel(source->format);
  if (bpp != 1 && bpp != 4) return nullptr;
  ChunkyPtr destination(chk_Create(width, height, source->format, false));
  if (!destination) return nullptr;
  if (Resample(destination.get(), source, info->kernel, info->support) != 0) return nullptr;
  return destination.release();
}

ChunkyImage* ScaleIntoCanvas(const ChunkyImage* source, int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b,
                             uint8_t a) {
  if (!UsableImage(source) || width <= 0 || height <= 0) return nullptr;
  const int bpp = BytesPerPixel(source->format);
  if (bpp != 1 && bpp != 4) return nullptr;
  const int32_t canvasWidth = source->width > width ? source->width : width;
  const int32_t canvasHeight = source->height > height ? source->height : height;
  // SetPixel writes nothing in some formats: their border is cleared instead of left undefined.
  ChunkyPtr canvas(chk_Create(canvasWidth, canvasHeight, source->format, !PixelAccessSupported(source->format)));
  if (!canvas) return nullptr;

  ChunkyPtr scaled;
  const ChunkyImage* picture = source;
  if (source->width > width || source->height > height) {
    scaled.reset(ScaleImage(source, width, height, kMethodLanczos));
    if (!scaled) return nullptr;
    picture = scaled.get();
  }
  const int32_t offsetX = picture->width >= canvasWidth ? 0 : canvasWidth / 2 - picture->width / 2;
  const int32_t offsetY = picture->height >= canvasHeight ? 0 : canvasHeight / 2 - picture->height / 2;

  Fill(canvas.get(), r, g, b, a);
  const size_t rowBytes = static_cast<size_t>(picture->width) * bpp;
  const size_t canvasStride = static_cast<size_t>(canvasWidth) * bpp;
  for (int32_t y = 0; y < picture->height; ++y)
    std::memcpy(canvas->pixels + static_cast<size_t>(offsetY + y) * canvasStride + static_cast<size_t>(offsetX) * bpp,
                picture->pixels + static_cast<size_t>(y) * rowBytes, rowBytes);
  return canvas.release();
}

void QuickScale(ChunkyImage* image, int32_t newWidth, int32_t newHeight) {
  if (!UsableImage(image)) return;
  ChunkyPtr fresh(chk_Create(newWidth, newHeight, image->format, false));
  if (!fresh) return;
  // Rows are independent (a row's position depends on its index alone), so they are split
  // over the thread pool.
  const uint32_t format = image->format;
  const ChunkyImage& src = *image;
  ChunkyImage& dst = *fresh;
  platform::ParallelFor(0, newHeight, platform::GrainFor(int64_t{newWidth} * 4), [&](int64_t y0, int64_t y1) {
    const auto lo = static_cast<int32_t>(y0), hi = static_cast<int32_t>(y1);
    switch (format) {
      case RGB24: QuickScaleRGB24(src, dst, lo, hi); break;
      case RGBA32:
      case ARGB32: QuickScale32(src, dst, lo, hi); break;
      default: QuickScaleNearest(src, dst, lo, hi); break;
    }
  });
  // The fresh record takes the old pixels with it when it goes.
  std::swap(image->pixels, fresh->pixels);
  image->width = newWidth;
  image->height = newHeight;
}

}  // namespace vl::image
