#include "display/row_renderer.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/cpu.h"

namespace vl::display {

namespace {
inline uint32_t Load(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
// What one bilinear row needs besides the two source rows.
struct BilinearRow {
  const uint8_t* row0;
  const uint8_t* row1;
  int maxSx;
  uint32_t fyf;
  int r, checkX, checkY;
  bool colorAlpha;  // kColorAlpha (checkerboard under translucent pixels), else kColor
};

// The bytes 0 and 2 of four taps weighted and summed, each (sum of tap x weight) >> 8.
__attribute__((target("avx2"))) inline __m256i Mix4(__m256i a, __m256i b, __m256i c, __m256i d, __m256i wa, __m256i wb,
                                                    __m256i wc, __m256i wd) {
  const __m256i m = _mm256_set1_epi32(0x00FF00FF);
  __m256i s = _mm256_mullo_epi32(_mm256_and_si256(a, m), wa);
  s = _mm256_add_epi32(s, _mm256_mullo_epi32(_mm256_and_si256(b, m), wb));
  s = _mm256_add_epi32(s, _mm256_mullo_epi32(_mm256_and_si256(c, m), wc));
  s = _mm256_add_epi32(s, _mm256_mullo_epi32(_mm256_and_si256(d, m), wd));
  return _mm256_and_si256(_mm256_srli_epi32(s, 8), m);
}

// A channel over the checkerboard grey g: g + (((c - g) x a) >> 8), kept to its low byte.
__attribute__((target("avx2"))) inline __m256i Blend(__m256i c, __m256i g, __m256i a) {
  return _mm256_and_si256(_mm256_add_epi32(g, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(c, g), a), 8)),
                          _mm256_set1_epi32(0xFF));
}

// The pixels at sx and sx + 1 of a row for eight positions: two gathers of 64-bit pairs,
// split into the left taps and the right taps in position order.
__attribute__((target("avx2"))) inline void LoadPairs(const uint8_t* row, __m256i sx, __m256i& left, __m256i& right) {
  const auto* base = reinterpret_cast<const long long*>(row);
  const __m256 lo = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(sx), 4));
  const __m256 hi = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(sx, 1), 4));
  // Within each 128-bit lane the shuffle takes positions 0 1 4 5 (then 2 3 6 7); the
  // 64-bit permute puts them back in order.
  left = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
                                  _MM_SHUFFLE(3, 1, 2, 0));
  right = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))),
                                   _MM_SHUFFLE(3, 1, 2, 0));
}

// Eight output pixels at a time of the bilinear loop below, for x .. lastX while a whole
// block fits; every position of the row must fit 32 bits. The four taps are gathered as
// little-endian words (A in the low byte), which only moves the channels around: each
// channel still gets (sum of tap x weight) >> 8 with the same 32-bit weights, and the
// checkerboard blend uses the same arithmetic shifts. Returns the first x left undone.
__attribute__((target("avx2"))) int BilinearBlocksAvx2(const BilinearRow& b, int x, int lastX, int64_t& fx,
                                                       int64_t step, uint8_t* rgb) {
  const __m256i fyf = _mm256_set1_epi32(static_cast<int32_t>(b.fyf));
  const __m256i fyc = _mm256_set1_epi32(static_cast<int32_t>(65535 - b.fyf));
  const __m256i ones = _mm256_set1_epi32(65535);
  const __m256i w256 = _mm256_set1_epi32(256);
  const __m256i maxSx = _mm256_set1_epi32(b.maxSx);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const int rowCheck = ((b.r + b.checkY) >> 3) & 1;
  const __m256i rgbBytes = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                            9, 10, 12, 13, 14, -1, -1, -1, -1);
  for (; x + 7 <= lastX; x += 8, fx += 8 * step) {
    alignas(32) int32_t pos[8];
    for (int i = 0; i < 8; ++i) pos[i] = static_cast<int32_t>(fx + i * step);
    const __m256i f = _mm256_load_si256(reinterpret_cast<const __m256i*>(pos));
    const __m256i sx = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(f, 16), zero), maxSx);
    const __m256i fxf = _mm256_and_si256(f, ones);
    const __m256i fxc = _mm256_sub_epi32(ones, fxf);
    const __m256i w00 = _mm256_srli_epi32(_mm256_mullo_epi32(fxc, fyc), 24);
    const __m256i w10 = _mm256_srli_epi32(_mm256_mullo_epi32(fxf, fyc), 24);
    const __m256i w01 = _mm256_srli_epi32(_mm256_mullo_epi32(fxc, fyf), 24);
    const __m256i w11 = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_sub_epi32(w256, w00), w10), w01);
    // Each tap and its right-hand neighbour come as one 64-bit load.
    __m256i p00, p10, p01, p11;
    LoadPairs(b.row0, sx, p00, p10);
    LoadPairs(b.row1, sx, p01, p11);
    const __m256i evenBytes = Mix4(p00, p10, p01, p11, w00, w10, w01, w11);  // A and G
    const __m256i oddBytes = Mix4(_mm256_srli_epi32(p00, 8), _mm256_srli_epi32(p10, 8), _mm256_srli_epi32(p01, 8),
                                  _mm256_srli_epi32(p11, 8), w00, w10, w01, w11);  // R and B
    // Bytes A R G B per lane; shifted down one byte they are R G B with A above.
    __m256i pixel = _mm256_or_si256(evenBytes, _mm256_slli_epi32(oddBytes, 8));
    __m256i out = _mm256_srli_epi32(pixel, 8);
    if (b.colorAlpha) {
      const __m256i a = _mm256_and_si256(pixel, _mm256_set1_epi32(0xFF));
      const __m256i translucent = _mm256_cmpgt_epi32(_mm256_set1_epi32(252), a);  // a <= 251
      if (!_mm256_testz_si256(translucent, translucent)) {
        const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x + b.checkX), lanes);
        const __m256i tile = _mm256_xor_si256(_mm256_and_si256(_mm256_srai_epi32(xs, 3), _mm256_set1_epi32(1)),
                                              _mm256_set1_epi32(rowCheck));
        const __m256i g = _mm256_add_epi32(_mm256_set1_epi32(40), _mm256_slli_epi32(tile, 6));
        const __m256i cr = _mm256_and_si256(out, _mm256_set1_epi32(0xFF));
        const __m256i cg = _mm256_and_si256(_mm256_srli_epi32(out, 8), _mm256_set1_epi32(0xFF));
        const __m256i cb = _mm256_srli_epi32(out, 16);
        const __m256i mixed = _mm256_or_si256(_mm256_or_si256(Blend(cr, g, a), _mm256_slli_epi32(Blend(cg, g, a), 8)),
                                              _mm256_slli_epi32(Blend(cb, g, a), 16));
        out = _mm256_blendv_epi8(out, mixed, translucent);
      }
    }
    alignas(32) uint8_t packed[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(packed), _mm256_shuffle_epi8(out, rgbBytes));
    uint8_t* o = rgb + static_cast<size_t>(x) * 3;
    std::memcpy(o, packed, 12);
    std::memcpy(o + 12, packed + 16, 12);
  }
  return x;
}

void RenderRowWith(const DisplayState& s, int r, uint8_t* rgb, bool simd) {
  const image::ChunkyImage* image = s.image;
  const Rect& source = s.source;
  const Rect& destination = s.destination;
  const int areaWidth = s.areaWidth, areaHeight = s.areaHeight, contents = s.contents;
  if (!image || r < 0 || r >= areaHeight || areaWidth <= 0) return;
  const int dy0 = static_cast<int>(destination.y0), dy1 = static_cast<int>(destination.y1);
  if (r < dy0 || r > dy1) return;
  const int dx0 = static_cast<int>(destination.x0), dx1 = static_cast<int>(destination.x1);
  if (destination.y1 == destination.y0) return;
  const float sy = source.y0 + (static_cast<float>(r) - destination.y0) * (source.y1 - source.y0) /
                                   (destination.y1 - destination.y0);
  const bool bilinear = s.UsesBilinear();
  const int h = image->height, w = image->width;
  if (!(sy >= 0.0f)) return;
  if (bilinear ? !(sy < static_cast<float>(h - 1)) : !(sy < static_cast<float>(h))) return;
  const int64_t span = dx1 - dx0;
  const int64_t step = span > 0 ? static_cast<int64_t>((source.x1 - source.x0) * 65536.0f) / span : 0;
  int64_t fx = static_cast<int64_t>(source.x0 * 65536.0f);
  const int64_t fy = static_cast<int64_t>(sy * 65536.0f);
  const int iy = static_cast<int>(fy >> 16);
  const uint32_t fyf = static_cast<uint32_t>(fy & 0xFFFF);
  const uint8_t* row0 = image->pixels + static_cast<size_t>(iy) * w * 4;
  const uint8_t* row1 = bilinear ? row0 + static_cast<size_t>(w) * 4 : row0;
  const int checkX = static_cast<int>(s.panX * s.scale), checkY = static_cast<int>(s.panY * s.scale);
  const int lastX = std::min(dx1, areaWidth - 1);
  const int maxSx = bilinear ? w - 2 : w - 1;
  int x = dx0;
  if (x < 0 && x <= lastX) {  // columns left of the area are stepped over
    const int skip = std::min(-x, lastX - x + 1);
    fx += step * skip;
    x += skip;
  }
  if (simd && bilinear && w > 1 && (contents == kColorAlpha || contents == kColor) && x <= lastX) {
    const int64_t last = fx + step * (lastX - x);
    constexpr int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    if (fx >= lo && fx <= hi && last >= lo && last <= hi)
      x = BilinearBlocksAvx2({row0, row1, maxSx, fyf, r, checkX, checkY, contents == kColorAlpha}, x, lastX, fx, step,
                             rgb);
  }
  for (; x <= lastX; ++x, fx += step) {
    int sx = static_cast<int>(fx >> 16);
    if (sx < 0) sx = 0;
    if (sx > maxSx) sx = maxSx < 0 ? 0 : maxSx;
    uint32_t p;
    if (bilinear && w > 1) {
      uint32_t fxf = static_cast<uint32_t>(fx & 0xFFFF);
      uint32_t w00 = ((65535 - fxf) * (65535 - fyf)) >> 24;
      uint32_t w10 = (fxf * (65535 - fyf)) >> 24;
      uint32_t w01 = ((65535 - fxf) * fyf) >> 24;
      uint32_t w11 = 256 - w00 - w10 - w01;
      uint32_t p00 = Load(row0 + sx * 4), p10 = Load(row0 + (sx + 1) * 4);
      uint32_t p01 = Load(row1 + sx * 4), p11 = Load(row1 + (sx + 1) * 4);
      uint32_t rb =
          ((p00 & 0x00FF00FF) * w00 + (p10 & 0x00FF00FF) * w10 + (p01 & 0x00FF00FF) * w01 + (p11 & 0x00FF00FF) * w11) >>
          8;
      uint32_t ag = (((p00 & 0xFF00FF00) >> 8) * w00 + ((p10 & 0xFF00FF00) >> 8) * w10 +
                     ((p01 & 0xFF00FF00) >> 8) * w01 + ((p11 & 0xFF00FF00) >> 8) * w11) >>
                    8;
      p = (rb & 0x00FF00FF) | ((ag & 0x00FF00FF) << 8);
    } else {
      p = Load(row0 + sx * 4);
    }
    int a = static_cast<int>(p >> 24), cr = static_cast<int>((p >> 16) & 0xFF);
    int cg = static_cast<int>((p >> 8) & 0xFF), cb = static_cast<int>(p & 0xFF);
    uint8_t* out = rgb + static_cast<size_t>(x) * 3;
    switch (contents) {
      case kColorAlpha:
        if (a > 251) {
          out[0] = static_cast<uint8_t>(cr), out[1] = static_cast<uint8_t>(cg), out[2] = static_cast<uint8_t>(cb);
        } else {
          int g = 40 + 64 * ((((x + checkX) >> 3) & 1) ^ (((r + checkY) >> 3) & 1));
          out[0] = static_cast<uint8_t>(g + (((cr - g) * a) >> 8));
          out[1] = static_cast<uint8_t>(g + (((cg - g) * a) >> 8));
          out[2] = static_cast<uint8_t>(g + (((cb - g) * a) >> 8));
        }
        break;
      case kColor:
        out[0] = static_cast<uint8_t>(cr), out[1] = static_cast<uint8_t>(cg), out[2] = static_cast<uint8_t>(cb);
        break;
      default: out[0] = out[1] = out[2] = static_cast<uint8_t>(a); break;
    }
  }
}

}  // namespace

void RenderRow(const DisplayState& state, int r, uint8_t* rgb) {
  RenderRowWith(state, r, rgb, platform::CpuHasAvx2());
}

void RenderRowPlain(const DisplayState& state, int r, uint8_t* rgb) {
  RenderRowWith(state, r, rgb, false);
}

bool ShownColumns(const DisplayState& s, int r, int& from, int& to) {
  const image::ChunkyImage* image = s.image;
  if (!image || r < 0 || r >= s.areaHeight || s.areaWidth <= 0) return false;
  const Rect& d = s.destination;
  if (r < static_cast<int>(d.y0) || r > static_cast<int>(d.y1) || d.y1 == d.y0) return false;
  const float sy = s.source.y0 + (static_cast<float>(r) - d.y0) * (s.source.y1 - s.source.y0) / (d.y1 - d.y0);
  const int h = image->height;
  if (!(sy >= 0.0f)) return false;
  if (s.UsesBilinear() ? !(sy < static_cast<float>(h - 1)) : !(sy < static_cast<float>(h))) return false;
  from = std::max(static_cast<int>(d.x0), 0);
  to = std::min(static_cast<int>(d.x1), s.areaWidth - 1);
  return from <= to;
}

void BlendOverlayRow(const image::ChunkyImage* overlay, int row, uint8_t* rgb, int width) {
  if (!overlay || overlay->format != image::ARGB32 || row < 0 || row >= overlay->height) return;
  int n = std::min(width, overlay->width);
  const uint8_t* o = overlay->pixels + static_cast<size_t>(row) * overlay->width * 4;
  for (int x = 0; x < n; ++x, o += 4, rgb += 3) {
    int a = o[0];
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<uint8_t>((o[1 + c] * a + rgb[c] * (255 - a)) / 255);
  }
}

}  // namespace vl::display
