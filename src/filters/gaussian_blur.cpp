#include "filters/gaussian_blur.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "filters/alpha_mode.h"
#include "filters/convolve_simd.h"
#include "filters/exact_divider.h"
#include "filters/filter_util.h"
#include "filters/plain_paths.h"
#include "filters/vector_clones.h"
#include "platform/thread_pool.h"

namespace vl::filters {

namespace {

using detail::Usable;

// Which bytes of a pixel the mode selects: alpha is byte 0 of ARGB32.
bool SelectsByte(AlphaMode mode, int byte) {
  switch (mode) {
    case kAlphaOnly: return byte == 0;
    case kColourOnly: return byte != 0;
    case kColourAndAlpha: return true;
    default: return false;
  }
}

// One Gaussian line: line holds the n pixels (bpp bytes each, contiguous); results go to
// out + i * step for positions 0 .. n - 2; the last pixel is left as it is.
void GaussianLine(const uint8_t* line, uint8_t* out, size_t step, int n, int bpp, const bool* selected,
                  const GaussianLineKernel& kernel, int64_t wsum) {
  for (int i = 0; i + 1 < n; ++i) {
    for (int c = 0; c < bpp; ++c) {
      if (!selected[c]) continue;
      int64_t sum = 0;
      for (int k = -kernel.length; k <= kernel.length; ++k) {
        const int p = std::clamp(i + k, 0, n - 1);
        sum += static_cast<int64_t>(kernel.at(k)) * line[static_cast<size_t>(p) * bpp + c];
      }
      out[i * step + c] = static_cast<uint8_t>(sum / wsum);
    }
  }
}

}  // namespace

GaussianLineKernel GaussianKernel(float radius) {
  GaussianLineKernel kernel;
  if (!std::isfinite(radius) || std::fabs(radius) > kMaxGaussianRadius) return kernel;
  // r, p, sigma and s2 are single-precision values; the logarithms and roots are taken in
  // double and rounded where they are stored.
  const float r = std::fabs(2.0f * radius + 1.0f) + 1.0f;
  const float p = 1.0f / 255.0f;
  const float sigma =
      static_cast<float>(std::sqrt(-static_cast<double>(r * r) / (2.0 * std::log(static_cast<double>(p)))));
  const float s2 = 2.0f * sigma * sigma;
  const double l = std::sqrt(-static_cast<double>(s2) * std::log(1.0 / 255.0));
  const int n = static_cast<int>(2.0 * std::ceil(l)) | 1;
  kernel.length = n / 2;
  kernel.weights.assign(static_cast<size_t>(2 * kernel.length + 1), 0);
  kernel.weights[static_cast<size_t>(kernel.length)] = 10000;
  for (int i = 1; i <= kernel.length; ++i) {
    const float q = static_cast<float>(-(i * i)) / s2;
    const auto w = static_cast<int32_t>(std::exp(static_cast<double>(q)) * 10000.0);
    kernel.weights[static_cast<size_t>(kernel.length + i)] = w;
    kernel.weights[static_cast<size_t>(kernel.length - i)] = w;
  }
  return kernel;
}

namespace {

// What both Gaussian paths need: the checked arguments, the kernel and its weight sum.
struct GaussianSetup {
  int bpp = 0;
  bool selected[4] = {true, false, false, false};
  GaussianLineKernel kernel;
  int64_t wsum = 0;
};

bool PrepareGaussian(const image::ChunkyImage* image, float radius, AlphaMode mode, GaussianSetup& setup) {
  if (!Usable(image) || !IsAlphaMode(mode)) return false;
  setup.bpp = image::BytesPerPixel(image);
  if (setup.bpp == 4) {
    if (image->format != image::ARGB32) return false;
    for (int c = 0; c < 4; ++c) setup.selected[c] = SelectsByte(mode, c);
  } else if (setup.bpp != 1) {
    return false;
  }
  setup.kernel = GaussianKernel(radius);
  if (setup.kernel.empty()) return false;
  setup.wsum = 0;
  for (int32_t w : setup.kernel.weights) setup.wsum += w;
  return setup.wsum > 0;
}

// ---- Fast path ----
//
// Both passes turn a line into a run of bytes: the bytes of the selected channels of each
// pixel, `channels` bytes per pixel, with `length` copies of the first pixel before it and
// of the last pixel after it, so that tap k of output byte j is simply byte
// j + (length + k) * stride of the run and no position needs clamping. The row pass
// convolves along one padded row (stride = channels); the column pass copies a strip of
// columns of every row into a padded block and convolves down it (stride = one strip row).
// The kernel is symmetric and every sum is an exact integer, so the taps are folded in
// pairs: weight(i) * (left + right). Sums stay below 255 * wsum, which fits int32 (checked
// before this path is taken), and the division by wsum is an exact reciprocal multiply.

constexpr int kBlockBytes = 256;  // output bytes convolved at once
// Bytes of a column strip's row: small enough that the strip's copy and its part of the
// picture stay in a core's second-level cache for pictures a few thousand rows high.
constexpr int kStripBytes = 128;
constexpr size_t kMaxStripRun = size_t{8} << 20;

// What a run holds of each pixel: every byte (1-byte pixels, or all four bytes filtered);
// all four bytes of which only R, G, B are written back (mode 3: convolving the alpha byte
// along costs less than picking the other three apart); or the alpha byte alone (mode 1).
enum class RunLayout { kWhole, kColour, kAlpha };

struct FastKernel {
  int length = 0;
  int32_t centre = 0;
  std::vector<int32_t> side;    // side[i - 1] is the weight of offsets +i and -i
  std::vector<uint32_t> pairs;  // the weights two at a time for the vector kernels
  detail::SimdLevel level = detail::SimdLevel::kPlain;
  detail::ExactDivider divide;
  RunLayout layout = RunLayout::kWhole;
  int channels = 0;  // run bytes per pixel
  int bpp = 0;
};

// acc[j] = sum over k of weight(k) * mid[j + k * stride] for j < count, k = -length .. length.
// Works in chunks of kChunk bytes whose sums stay in vector registers across the taps, so
// it reads up to kChunk - 1 bytes past the last one asked for (the buffers have that slack)
// and fills acc up to the next multiple of kChunk.
constexpr int kChunk = 64;
VL_VECTOR_CLONES void ConvolveRun(const uint8_t* __restrict mid, size_t stride, int count,
                                  const int32_t* __restrict side, int length, int32_t centre, int32_t* __restrict acc) {
  for (int j0 = 0; j0 < count; j0 += kChunk) {
    const uint8_t* m = mid + j0;
    int32_t sums[kChunk];
    for (int j = 0; j < kChunk; ++j) sums[j] = centre * m[j];
    for (int i = 1; i <= length; ++i) {
      const int32_t w = side[i - 1];
      const uint8_t* __restrict a = m - static_cast<size_t>(i) * stride;
      const uint8_t* __restrict b = m + static_cast<size_t>(i) * stride;
      for (int j = 0; j < kChunk; ++j) sums[j] += w * (a[j] + b[j]);
    }
    for (int j = 0; j < kChunk; ++j) acc[j0 + j] = sums[j];
  }
}

// q[j] = acc[j] / wsum for j < count.
VL_VECTOR_CLONES void DivideRun(const int32_t* __restrict acc, int count, uint32_t multiplier, int shift,
                                uint8_t* __restrict q) {
  for (int j = 0; j < count; ++j)
    q[j] = static_cast<uint8_t>((uint64_t{static_cast<uint32_t>(acc[j])} * multiplier) >> shift);
}

// Writes `pixels` pixels of quotients (run layout) into the selected bytes of out.
VL_VECTOR_CLONES void ScatterRun(const uint8_t* __restrict q, int pixels, RunLayout layout, int bpp,
                                 uint8_t* __restrict out) {
  switch (layout) {
    case RunLayout::kWhole: std::memcpy(out, q, static_cast<size_t>(pixels) * bpp); return;
    case RunLayout::kColour: {
      // Whole pixels as words: byte 0 (alpha) from out, bytes 1..3 from q.
      constexpr uint32_t kAlphaByte = std::endian::native == std::endian::little ? 0x000000FFu : 0xFF000000u;
      for (int p = 0; p < pixels; ++p) {
        uint32_t kept, result;
        std::memcpy(&kept, out + static_cast<size_t>(p) * 4, 4);
        std::memcpy(&result, q + static_cast<size_t>(p) * 4, 4);
        const uint32_t merged = (kept & kAlphaByte) | (result & ~kAlphaByte);
        std::memcpy(out + static_cast<size_t>(p) * 4, &merged, 4);
      }
      return;
    }
    case RunLayout::kAlpha:
      for (int p = 0; p < pixels; ++p) out[static_cast<size_t>(p) * 4] = q[p];
      return;
  }
}

// Copies the bytes of `pixels` pixels of in that the run holds into the run.
VL_VECTOR_CLONES void GatherRun(const uint8_t* __restrict in, int pixels, RunLayout layout, int bpp,
                                uint8_t* __restrict run) {
  if (layout == RunLayout::kAlpha) {
    for (int p = 0; p < pixels; ++p) run[p] = in[static_cast<size_t>(p) * 4];
    return;
  }
  std::memcpy(run, in, static_cast<size_t>(pixels) * bpp);
}

// Convolves count run bytes starting at mid (count <= kBlockBytes, a whole number of pixels)
// and writes them to the selected bytes of the count / channels pixels at out.
void ConvolveAndStore(const uint8_t* mid, size_t stride, int count, const FastKernel& fk, int32_t* acc, uint8_t* q,
                      uint8_t* out) {
  switch (fk.level) {
    case detail::SimdLevel::kAvx512:
      detail::ConvolvePairsAvx512(mid, stride, count, fk.pairs.data(), fk.length, acc);
      break;
    case detail::SimdLevel::kAvx2:
      detail::ConvolvePairsAvx2(mid, stride, count, fk.pairs.data(), fk.length, acc);
      break;
    case detail::SimdLevel::kPlain: ConvolveRun(mid, stride, count, fk.side.data(), fk.length, fk.centre, acc); break;
  }
  DivideRun(acc, count, fk.divide.multiplier, fk.divide.shift, q);
  ScatterRun(q, count / fk.channels, fk.layout, fk.bpp, out);
}

struct Scratch {
  std::vector<uint8_t> run;
  std::vector<int32_t> acc;
  std::vector<uint8_t> q;
  bool Allocate(size_t runBytes) {
    try {
      run.resize(runBytes + kChunk);
      acc.resize(kBlockBytes);
      q.resize(kBlockBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
};

// Row y: positions 0 .. width - 2 from the padded copy of the row.
void FastGaussianRow(uint8_t* row, int width, const FastKernel& fk, Scratch& s) {
  const int ch = fk.channels;
  const int length = fk.length;
  uint8_t* run = s.run.data();
  GatherRun(row, width, fk.layout, fk.bpp, run + static_cast<size_t>(length) * ch);
  for (int p = 0; p < length; ++p) {
    std::memcpy(run + static_cast<size_t>(p) * ch, run + static_cast<size_t>(length) * ch, ch);
    std::memcpy(run + static_cast<size_t>(length + width + p) * ch, run + static_cast<size_t>(length + width - 1) * ch,
                ch);
  }
  const int blockPixels = kBlockBytes / ch;
  const uint8_t* mid = run + static_cast<size_t>(length) * ch;
  for (int p0 = 0; p0 + 1 < width; p0 += blockPixels) {
    const int pixels = std::min(blockPixels, width - 1 - p0);
    ConvolveAndStore(mid + static_cast<size_t>(p0) * ch, ch, pixels * ch, fk, s.acc.data(), s.q.data(),
                     row + static_cast<size_t>(p0) * fk.bpp);
  }
}

// Columns x0 .. x0 + pixels - 1 of every row; rows 0 .. height - 2 get results.
void FastGaussianStrip(uint8_t* pixels0, size_t rowBytes, int height, int x0, int pixels, const FastKernel& fk,
                       Scratch& s) {
  const int length = fk.length;
  const size_t stripBytes = static_cast<size_t>(pixels) * fk.channels;
  uint8_t* run = s.run.data();
  uint8_t* column = pixels0 + static_cast<size_t>(x0) * fk.bpp;
  for (int y = 0; y < height; ++y)
    GatherRun(column + y * rowBytes, pixels, fk.layout, fk.bpp, run + static_cast<size_t>(length + y) * stripBytes);
  for (int p = 0; p < length; ++p) {
    std::memcpy(run + p * stripBytes, run + length * stripBytes, stripBytes);
    std::memcpy(run + (length + height + p) * stripBytes, run + (length + height - 1) * stripBytes, stripBytes);
  }
  const uint8_t* mid = run + length * stripBytes;
  for (int y = 0; y + 1 < height; ++y)
    ConvolveAndStore(mid + y * stripBytes, stripBytes, static_cast<int>(stripBytes), fk, s.acc.data(), s.q.data(),
                     column + y * rowBytes);
}

// Sets up the fast path; false when the sums would not fit int32 (then the plain path runs).
bool MakeFastKernel(const GaussianSetup& setup, FastKernel& fk) {
  if (setup.wsum > INT32_MAX / 255) return false;
  for (int32_t w : setup.kernel.weights)
    if (w < 0) return false;
  const uint32_t wsum = static_cast<uint32_t>(setup.wsum);
  if (!fk.divide.Init(wsum, 255 * wsum)) return false;
  fk.length = setup.kernel.length;
  fk.centre = setup.kernel.at(0);
  fk.side.resize(static_cast<size_t>(fk.length));
  for (int i = 1; i <= fk.length; ++i) fk.side[static_cast<size_t>(i - 1)] = setup.kernel.at(i);
  // The vector kernels take 16-bit weights; the Gaussian's are at most 10000.
  bool shortWeights = true;
  for (int32_t w : setup.kernel.weights) shortWeights = shortWeights && w <= 32767;
  fk.level = shortWeights ? detail::SimdLevelInUse() : detail::SimdLevel::kPlain;
  fk.pairs.assign(static_cast<size_t>(fk.length / 2 + 1), 0);
  for (int t = 0; t <= fk.length; ++t) {
    const auto w = static_cast<uint32_t>(setup.kernel.at(t));
    fk.pairs[static_cast<size_t>(t / 2)] |= t % 2 == 0 ? w : w << 16;
  }
  fk.bpp = setup.bpp;
  if (setup.bpp == 1 || setup.selected[0] == setup.selected[1]) {
    fk.layout = RunLayout::kWhole;  // 1-byte pixels, or mode 4
    fk.channels = setup.bpp;
  } else if (setup.selected[0]) {
    fk.layout = RunLayout::kAlpha;
    fk.channels = 1;
  } else {
    fk.layout = RunLayout::kColour;
    fk.channels = 4;
  }
  return true;
}

}  // namespace

namespace plain {

bool GaussianBlur(image::ChunkyImage* image, float radius, AlphaMode mode) {
  GaussianSetup setup;
  if (!PrepareGaussian(image, radius, mode, setup)) return false;
  const int bpp = setup.bpp;
  const bool* selected = setup.selected;
  const GaussianLineKernel& kernel = setup.kernel;
  const int64_t wsum = setup.wsum;
  const int width = image->width;
  const int height = image->height;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  const size_t columnBytes = static_cast<size_t>(height) * bpp;
  // The calling thread's line copies are taken first, so running out of memory up front
  // leaves the picture untouched.
  std::vector<uint8_t> rowLine, columnLine;
  try {
    rowLine.resize(rowBytes);
    columnLine.resize(columnBytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Each line reads only its own pixels, so rows (and then columns) are split over the
  // pool, each piece with its own line copy. The column pass starts after every row is done.
  std::atomic<bool> ok{true};
  const int64_t taps = 2 * int64_t{kernel.length} + 1;
  platform::ParallelFor(0, height, platform::GrainFor(static_cast<int64_t>(rowBytes) * taps),
                        [&](int64_t y0, int64_t y1) {
                          std::vector<uint8_t> line;
                          try {
                            line.resize(rowBytes);
                          } catch (const std::bad_alloc&) {
                            ok = false;
                            return;
                          }
                          for (int64_t y = y0; y < y1; ++y) {
                            uint8_t* row = image->pixels + y * rowBytes;
                            std::memcpy(line.data(), row, rowBytes);
                            GaussianLine(line.data(), row, bpp, width, bpp, selected, kernel, wsum);
                          }
                        });
  if (!ok) return false;
  platform::ParallelFor(0, width, platform::GrainFor(static_cast<int64_t>(columnBytes) * taps),
                        [&](int64_t x0, int64_t x1) {
                          std::vector<uint8_t> line;
                          try {
                            line.resize(columnBytes);
                          } catch (const std::bad_alloc&) {
                            ok = false;
                            return;
                          }
                          for (int64_t x = x0; x < x1; ++x) {
                            uint8_t* column = image->pixels + static_cast<size_t>(x) * bpp;
                            for (int y = 0; y < height; ++y)
                              std::memcpy(&line[static_cast<size_t>(y) * bpp], column + y * rowBytes, bpp);
                            GaussianLine(line.data(), column, rowBytes, height, bpp, selected, kernel, wsum);
                          }
                        });
  return ok;
}

}  // namespace plain

bool GaussianBlur(image::ChunkyImage* image, float radius, AlphaMode mode) {
  GaussianSetup setup;
  if (!PrepareGaussian(image, radius, mode, setup)) return false;
  FastKernel fk;
  if (!MakeFastKernel(setup, fk)) return plain::GaussianBlur(image, radius, mode);

  const int width = image->width;
  const int height = image->height;
  const int length = fk.length;
  const size_t rowBytes = static_cast<size_t>(width) * fk.bpp;
  // Very tall pictures get narrower strips, so that each piece's copy stays within
  // kMaxStripRun bytes (one column at the least, as much as the plain path copies).
  const size_t columnRun = (static_cast<size_t>(height) + 2 * static_cast<size_t>(length)) * fk.channels;
  const int stripPixels =
      static_cast<int>(std::clamp<size_t>(kMaxStripRun / columnRun, 1, static_cast<size_t>(kStripBytes / fk.channels)));
  const size_t rowRun = (static_cast<size_t>(width) + 2 * static_cast<size_t>(length)) * fk.channels;
  const size_t stripRun = (static_cast<size_t>(height) + 2 * static_cast<size_t>(length)) *
                          static_cast<size_t>(std::min(stripPixels, width)) * fk.channels;
  // One set of work buffers is taken first, so running out of memory up front leaves the
  // picture untouched.
  {
    Scratch probe;
    if (!probe.Allocate(std::max(rowRun, stripRun))) return false;
  }
  // Rows, then strips of columns, read only their own pixels, so each pass is split over
  // the pool, each piece with its own buffers; the column pass starts after every row.
  std::atomic<bool> ok{true};
  const int64_t taps = 2 * int64_t{length} + 1;
  platform::ParallelFor(0, height, platform::GrainFor(static_cast<int64_t>(rowBytes) * taps),
                        [&](int64_t y0, int64_t y1) {
                          Scratch s;
                          if (!s.Allocate(rowRun)) {
                            ok = false;
                            return;
                          }
                          for (int64_t y = y0; y < y1; ++y) FastGaussianRow(image->pixels + y * rowBytes, width, fk, s);
                        });
  if (!ok) return false;
  if (height < 2) return true;
  const int strips = (width + stripPixels - 1) / stripPixels;
  platform::ParallelFor(
      0, strips, platform::GrainFor(int64_t{height} * kStripBytes * taps), [&](int64_t s0, int64_t s1) {
        Scratch s;
        if (!s.Allocate(stripRun)) {
          ok = false;
          return;
        }
        for (int64_t strip = s0; strip < s1; ++strip) {
          const int x0 = static_cast<int>(strip) * stripPixels;
          FastGaussianStrip(image->pixels, rowBytes, height, x0, std::min(stripPixels, width - x0), fk, s);
        }
      });
  return ok;
}

}  // namespace vl::filters
