#include "filters/rank.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "filters/filter_util.h"
#include "filters/plain_paths.h"
#include "filters/vector_clones.h"
#include "platform/thread_pool.h"

namespace vl::filters {

namespace {

using detail::ArgbPair;

enum class Reduce { kMin, kMax, kMedian };

// Shared walk of the mask rows: for each destination pixel, every row offset k inside the
// image contributes the columns x - hw[k] .. x + hw[k] clipped to the row.
bool PlainNeighbourhood(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular,
                        Reduce reduce) {
  if (!ArgbPair(source, destination)) return false;
  const std::vector<uint8_t> mask = NeighbourhoodMask(radius, circular);
  if (mask.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;

  const int width = src->width;
  const int height = src->height;
  // Every output pixel reads the unchanged source alone, so rows are split over the pool,
  // each piece with its own histograms.
  const int64_t rowCost = int64_t{width} * (2 * radius + 1) * (2 * radius + 1);
  platform::ParallelFor(0, height, platform::GrainFor(rowCost), [&](int64_t yBegin, int64_t yEnd) {
    detail::MedianHistogram histograms[4];
    for (int y = static_cast<int>(yBegin); y < static_cast<int>(yEnd); ++y) {
      for (int x = 0; x < width; ++x) {
        int lowest[4] = {255, 255, 255, 255};
        int highest[4] = {0, 0, 0, 0};
        int count = 0;
        for (int k = -radius; k <= radius; ++k) {
          const int yy = y + k;
          if (yy < 0 || yy >= height) continue;
          const int hw = mask[static_cast<size_t>(k + radius)];
          const int x0 = std::max(0, x - hw);
          const int x1 = std::min(width - 1, x + hw);
          const uint8_t* row = src->pixels + static_cast<size_t>(yy) * width * 4;
          for (int xx = x0; xx <= x1; ++xx) {
            const uint8_t* p = row + static_cast<size_t>(xx) * 4;
            for (int c = 0; c < 4; ++c) {
              switch (reduce) {
                case Reduce::kMin: lowest[c] = std::min<int>(lowest[c], p[c]); break;
                case Reduce::kMax: highest[c] = std::max<int>(highest[c], p[c]); break;
                case Reduce::kMedian: histograms[c].Add(p[c]); break;
              }
            }
            ++count;
          }
        }
        uint8_t* out = destination->pixels + (static_cast<size_t>(y) * width + x) * 4;
        for (int c = 0; c < 4; ++c) {
          switch (reduce) {
            case Reduce::kMin: out[c] = static_cast<uint8_t>(lowest[c]); break;
            case Reduce::kMax: out[c] = static_cast<uint8_t>(highest[c]); break;
            case Reduce::kMedian: out[c] = histograms[c].TakeMedian(count); break;
          }
        }
      }
    }
  });
  return true;
}

// Near the picture's edges, and for the medians of the larger masks, the fast path keeps
// one histogram per channel for the neighbourhood of the current pixel and slides it along
// the row: stepping from x - 1 to x, each mask row drops the column
// x - 1 - hw[k] and takes in x + hw[k] (where they lie inside the row). Minimum, maximum and
// median are then one question, the smallest value v whose running count reaches a
// target: 1 for the minimum, the neighbourhood's size for the maximum, count / 2 + 1 for
// the median (the element at index count / 2 of the sorted values, as MedianHistogram
// finds it). The answer moves little from one pixel to the next, so it is searched from
// the previous one, with the number of entries below it kept up to date as values come
// and go.
class SlidingRank {
 public:
  void Clear() {
    std::memset(bins_, 0, sizeof bins_);
    for (int c = 0; c < 4; ++c) level_[c] = below_[c] = 0;
  }

  void Add(const uint8_t* p) {
    for (int c = 0; c < 4; ++c) {
      ++bins_[c][p[c]];
      below_[c] += p[c] < level_[c];
    }
  }

  void Remove(const uint8_t* p) {
    for (int c = 0; c < 4; ++c) {
      --bins_[c][p[c]];
      below_[c] -= p[c] < level_[c];
    }
  }

  // The smallest v with (entries <= v) >= target, for 1 <= target <= entries.
  uint8_t Find(int c, int target) {
    int v = level_[c];
    int below = below_[c];  // entries < v
    const uint16_t* bins = bins_[c];
    while (below >= target) below -= bins[--v];
    while (below + bins[v] < target) below += bins[v++];
    level_[c] = v;
    below_[c] = below;
    return static_cast<uint8_t>(v);
  }

 private:
  uint16_t bins_[4][256] = {};  // at most 15 x 15 entries each
  int level_[4] = {};
  int below_[4] = {};
};

// The mask rows of output row y that lie inside the image: their pixels and half-widths.
struct MaskRows {
  const uint8_t* rows[2 * kMaxMaskRadius + 1];
  int hws[2 * kMaxMaskRadius + 1];
  int used = 0;
};

MaskRows RowsFor(const image::ChunkyImage* src, int y, const std::vector<uint8_t>& mask) {
  MaskRows m;
  const int radius = static_cast<int>(mask.size() / 2);
  for (int k = -radius; k <= radius; ++k) {
    const int yy = y + k;
    if (yy < 0 || yy >= src->height) continue;
    m.rows[m.used] = src->pixels + static_cast<size_t>(yy) * src->width * 4;
    m.hws[m.used] = mask[static_cast<size_t>(k + radius)];
    ++m.used;
  }
  return m;
}

// Output pixels xBegin .. xEnd - 1 of row y, sliding the histograms from xBegin.
void SlidingRow(const image::ChunkyImage* src, uint8_t* out, const MaskRows& m, int xBegin, int xEnd, Reduce reduce,
                SlidingRank& rank) {
  const int width = src->width;
  rank.Clear();
  int count = 0;
  for (int r = 0; r < m.used; ++r) {
    const int x0 = std::max(0, xBegin - m.hws[r]);
    const int x1 = std::min(width - 1, xBegin + m.hws[r]);
    for (int xx = x0; xx <= x1; ++xx) rank.Add(m.rows[r] + static_cast<size_t>(xx) * 4);
    count += x1 - x0 + 1;
  }
  for (int x = xBegin;;) {
    const int target = reduce == Reduce::kMin ? 1 : reduce == Reduce::kMax ? count : count / 2 + 1;
    for (int c = 0; c < 4; ++c) out[static_cast<size_t>(x) * 4 + c] = rank.Find(c, target);
    if (++x == xEnd) break;
    for (int r = 0; r < m.used; ++r) {
      const int leaving = x - 1 - m.hws[r];
      const int entering = x + m.hws[r];
      if (leaving >= 0) {
        rank.Remove(m.rows[r] + static_cast<size_t>(leaving) * 4);
        --count;
      }
      if (entering < width) {
        rank.Add(m.rows[r] + static_cast<size_t>(entering) * 4);
        ++count;
      }
    }
  }
}

// Away from the picture's edges every neighbourhood holds the same n positions, and the
// value wanted is the element at a fixed index of their sorted list (0 for the minimum,
// n - 1 for the maximum, n / 2 for the median), so 16 pixels are answered at once, each
// of the n positions read as one list of 64 bytes. The minimum and the maximum take one
// pass of vector minimum or maximum over the lists. The median runs a selection network:
// each step orders two lists byte by byte (the smaller values to the first). The network
// is Batcher's odd-even merge sort of the next power of two, less the steps that touch
// positions n and above (think of them as holding 255: such a step never moves anything)
// and the steps that cannot reach the wanted index.
constexpr int kNetworkPixels = 16;
constexpr int kNetworkBytes = kNetworkPixels * 4;

struct Comparator {
  uint16_t lo, hi;
};

// The steps for n <= 256 positions, in order, built at compile time.
struct NetworkSteps {
  std::array<Comparator, 4096> step{};  // odd-even merge sort of 256 has 3839 steps
  int count = 0;
};

constexpr NetworkSteps SelectionSteps(int n, int index) {
  int size = 1;
  while (size < n) size *= 2;
  NetworkSteps all;
  for (int p = 1; p < size; p *= 2)
    for (int k = p; k >= 1; k /= 2)
      for (int j = k % p; j + k < size; j += 2 * k)
        for (int i = 0; i < std::min(k, size - j - k); ++i)
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < n)
            all.step[static_cast<size_t>(all.count++)] = {static_cast<uint16_t>(i + j),
                                                          static_cast<uint16_t>(i + j + k)};
  // Walking back from the end, a step matters when it writes a position still needed.
  std::array<bool, 256> needed{};
  needed[static_cast<size_t>(index)] = true;
  NetworkSteps kept;
  for (int c = all.count; c-- > 0;) {
    const Comparator step = all.step[static_cast<size_t>(c)];
    if (!needed[step.lo] && !needed[step.hi]) continue;
    needed[step.lo] = needed[step.hi] = true;
    kept.step[static_cast<size_t>(kept.count++)] = step;
  }
  std::reverse(kept.step.begin(), kept.step.begin() + kept.count);
  return kept;
}

// A list of 64 bytes as one vector: the compiler keeps it in registers (on processors
// without 512-bit registers it splits it into narrower ones).
typedef uint8_t NetworkVector __attribute__((vector_size(kNetworkBytes)));

// The networks are unrolled at compile time, so the lists stay in vector registers (as far
// as they fit) from the loads to the store. They pay for every mask up to radius 4 and the
// circular one of radius 5 (5 to 81 positions); from 121 positions (the rectangle of
// radius 5) on, the sliding histograms cost less (measured on 12-megapixel pictures).
inline void Order(NetworkVector& a, NetworkVector& b) {
  const NetworkVector lo = a < b ? a : b;
  const NetworkVector hi = a < b ? b : a;
  a = lo;
  b = hi;
}

template <int N>
inline constexpr NetworkSteps kMedianSteps = SelectionSteps(N, N / 2);

template <int N, size_t... I>
[[gnu::always_inline]] inline void ApplyMedianSteps(NetworkVector* v, std::index_sequence<I...>) {
  (Order(v[kMedianSteps<N>.step[I].lo], v[kMedianSteps<N>.step[I].hi]), ...);
}

template <int N>
[[gnu::always_inline]] inline void FixedMedian(const uint8_t* centre, const ptrdiff_t* offsets, uint8_t* out) {
  NetworkVector v[N];
  for (int i = 0; i < N; ++i) std::memcpy(&v[i], centre + offsets[i], kNetworkBytes);
  ApplyMedianSteps<N>(v, std::make_index_sequence<static_cast<size_t>(kMedianSteps<N>.count)>{});
  std::memcpy(out, &v[N / 2], kNetworkBytes);
}

constexpr bool HasFixedMedian(size_t n) {
  return n == 5 || n == 9 || n == 13 || n == 25 || n == 29 || n == 49 || n == 53 || n == 77 || n == 81;
}

VL_VECTOR_CLONES void FixedMedianBlock(size_t n, const uint8_t* centre, const ptrdiff_t* offsets, uint8_t* out) {
  switch (n) {
    case 5: FixedMedian<5>(centre, offsets, out); break;
    case 9: FixedMedian<9>(centre, offsets, out); break;
    case 13: FixedMedian<13>(centre, offsets, out); break;
    case 25: FixedMedian<25>(centre, offsets, out); break;
    case 29: FixedMedian<29>(centre, offsets, out); break;
    case 49: FixedMedian<49>(centre, offsets, out); break;
    case 53: FixedMedian<53>(centre, offsets, out); break;
    case 77: FixedMedian<77>(centre, offsets, out); break;
    case 81: FixedMedian<81>(centre, offsets, out); break;
    default: break;
  }
}

// The smallest (lowest) or largest byte of n lists of 64 bytes at base + offsets[i].
VL_VECTOR_CLONES void ExtremeBlock(const uint8_t* base, const ptrdiff_t* offsets, size_t n, bool lowest, uint8_t* out) {
  NetworkVector acc;
  std::memcpy(&acc, base + offsets[0], kNetworkBytes);
  if (lowest) {
    for (size_t i = 1; i < n; ++i) {
      NetworkVector v;
      std::memcpy(&v, base + offsets[i], kNetworkBytes);
      acc = v < acc ? v : acc;
    }
  } else {
    for (size_t i = 1; i < n; ++i) {
      NetworkVector v;
      std::memcpy(&v, base + offsets[i], kNetworkBytes);
      acc = v > acc ? v : acc;
    }
  }
  std::memcpy(out, &acc, kNetworkBytes);
}

struct Network {
  bool blocks = false;  // whether the interior goes block by block
  Reduce reduce = Reduce::kMedian;
  std::vector<ptrdiff_t> offsets;  // of each position from the block's first centre pixel
  int index = 0;
  int radius = 0;
  int reach = 0;  // largest half-width
};

// The block plan for the full neighbourhood of a picture width pixels wide.
Network MakeNetwork(const std::vector<uint8_t>& mask, Reduce reduce, int width) {
  Network net;
  net.reduce = reduce;
  const int radius = static_cast<int>(mask.size() / 2);
  const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * 4;
  for (int k = -radius; k <= radius; ++k) {
    const int hw = mask[static_cast<size_t>(k + radius)];
    net.reach = std::max(net.reach, hw);
    for (int d = -hw; d <= hw; ++d) net.offsets.push_back(k * rowBytes + d * 4);
  }
  const int n = static_cast<int>(net.offsets.size());
  net.radius = radius;
  net.index = reduce == Reduce::kMin ? 0 : reduce == Reduce::kMax ? n - 1 : n / 2;
  if (reduce != Reduce::kMedian) {
    net.blocks = n > 1;
    return net;
  }
  net.blocks = HasFixedMedian(net.offsets.size());
  return net;
}

// Output pixels x0 .. x0 + 15 of row y, all of whose neighbourhoods lie inside the picture.
void NetworkBlock(const image::ChunkyImage* src, int y, int x0, const Network& net, uint8_t* out) {
  const uint8_t* centre = src->pixels + (static_cast<size_t>(y) * src->width + x0) * 4;
  uint8_t* to = out + static_cast<size_t>(x0) * 4;
  if (net.reduce != Reduce::kMedian) {
    ExtremeBlock(centre, net.offsets.data(), net.offsets.size(), net.reduce == Reduce::kMin, to);
    return;
  }
  FixedMedianBlock(net.offsets.size(), centre, net.offsets.data(), to);
}

bool SlidingNeighbourhood(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular,
                          Reduce reduce) {
  if (!ArgbPair(source, destination)) return false;
  const std::vector<uint8_t> mask = NeighbourhoodMask(radius, circular);
  if (mask.empty()) return false;
  detail::ReadCopy read(source, destination);
  const image::ChunkyImage* src = read.get();
  if (!src) return false;
  const Network net = MakeNetwork(mask, reduce, src->width);
  const int width = src->width;
  const int height = src->height;
  // The network's pixels: whole blocks of the columns reach .. width - 1 - reach, on the
  // rows radius .. height - 1 - radius.
  const int xBegin = net.reach;
  const int blocks = net.blocks ? std::max(0, width - 2 * net.reach) / kNetworkPixels : 0;
  const int xEnd = xBegin + blocks * kNetworkPixels;
  // Every output row reads the unchanged source alone, so rows are split over the pool,
  // each piece with its own histograms.
  const int64_t rowCost = int64_t{width} * (2 * radius + 1) * 8;
  platform::ParallelFor(0, height, platform::GrainFor(rowCost), [&](int64_t y0, int64_t y1) {
    SlidingRank rank;
    for (int y = static_cast<int>(y0); y < static_cast<int>(y1); ++y) {
      const MaskRows m = RowsFor(src, y, mask);
      uint8_t* out = destination->pixels + static_cast<size_t>(y) * width * 4;
      if (blocks == 0 || y < radius || y >= height - radius) {
        SlidingRow(src, out, m, 0, width, reduce, rank);
        continue;
      }
      if (xBegin > 0) SlidingRow(src, out, m, 0, xBegin, reduce, rank);
      for (int b = 0; b < blocks; ++b) NetworkBlock(src, y, xBegin + b * kNetworkPixels, net, out);
      if (xEnd < width) SlidingRow(src, out, m, xEnd, width, reduce, rank);
    }
  });
  return true;
}

}  // namespace

std::vector<uint8_t> NeighbourhoodMask(int radius, bool circular) {
  std::vector<uint8_t> hw;
  if (radius < 0 || radius > kMaxMaskRadius) return hw;
  hw.assign(static_cast<size_t>(2 * radius + 1), static_cast<uint8_t>(radius));
  if (!circular || radius == 0) return hw;
  const float r = static_cast<float>(radius);
  const float inv = 1.0f / r;
  const float halfPi = static_cast<float>(M_PI / 2.0);
  for (int k = -radius; k <= radius; ++k) {
    const float angle = (static_cast<float>(k) * inv) * halfPi;
    const float w = r * std::cos(angle) + 0.5f;
    hw[static_cast<size_t>(k + radius)] = static_cast<uint8_t>(std::max(0, static_cast<int>(w)));
  }
  return hw;
}

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMin);
}

bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMax);
}

bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return SlidingNeighbourhood(source, destination, radius, circular, Reduce::kMedian);
}

namespace plain {

bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMin);
}

bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMax);
}

bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular) {
  return PlainNeighbourhood(source, destination, radius, circular, Reduce::kMedian);
}

}  // namespace plain

}  // namespace vl::filters
