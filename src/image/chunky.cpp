#include "image/chunky.h"

#include <immintrin.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "image/pool.h"
#include "platform/cpu.h"
#include "platform/messages.h"

namespace vl::image {

int BytesPerPixel(uint32_t format) {
  switch (format) {
    case RGB24: return 3;
    case RGBA32: return 4;
    case RGB565: return 2;
    case BYTE8: return 1;
    case ARGB4444: return 2;
    case ARGB1555: return 2;
    case WORD16: return 2;
    case ARGB32: return 4;
    case GREY8: return 1;
    case ALPHA8: return 1;
    case WORD16B: return 2;
    default: return 0;
  }
}

int BytesPerPixel(const ChunkyImage* image) {
  return image ? BytesPerPixel(image->format) : 0;
}

bool SizeAllowed(int64_t width, int64_t height, uint32_t format) {
  int bpp = BytesPerPixel(format);
  if (bpp == 0 || width <= 0 || height <= 0) return false;
  if (width > kMaxPixels || height > kMaxPixels) return false;
  int64_t pixels = width * height;
  return pixels <= kMaxPixels && pixels * bpp <= kMaxBufferBytes;
}

size_t BufferBytes(int64_t width, int64_t height, uint32_t format) {
  if (!SizeAllowed(width, height, format)) return 0;
  return static_cast<size_t>(width * height * BytesPerPixel(format));
}

namespace {

enum class Clearing { kLikeFresh, kZero, kNone };

ChunkyImage* CreateChunky(int32_t width, int32_t height, uint32_t format, Clearing clearing) {
  if (!SizeAllowed(width, height, format)) return nullptr;
  auto* image = new (std::nothrow) ChunkyImage();
  if (!image) return nullptr;
  size_t bpp = static_cast<size_t>(BytesPerPixel(format));
  size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  void* pixels = clearing == Clearing::kZero   ? AllocateZeroed(bpp, count)
                 : clearing == Clearing::kNone ? AllocateForOverwrite(bpp * count)
                                               : Allocate(bpp * count);
  if (!pixels) {
    delete image;
    return nullptr;
  }
  image->width = width;
  image->height = height;
  image->pixels = static_cast<uint8_t*>(pixels);
  image->format = format;
  return image;
}

}  // namespace

ChunkyImage* chk_Create(int32_t width, int32_t height, uint32_t format, bool zeroed) {
  return CreateChunky(width, height, format, zeroed ? Clearing::kZero : Clearing::kLikeFresh);
}

ChunkyImage* chk_CreateForOverwrite(int32_t width, int32_t height, uint32_t format) {
  return CreateChunky(width, height, format, Clearing::kNone);
}

void chk_Free(ChunkyImage* image) {
  if (!image) return;
  if (image->pixels) Free(image->pixels);
  delete image;
}

ChunkyImage* chk_Duplicate(const ChunkyImage* image) {
  ChunkyImage* copy = image ? chk_CreateForOverwrite(image->width, image->height, image->format) : nullptr;
  if (!copy) {
    platform::PrintMessage("[CHKIMAGE]: chk_Duplicate: Not enough memory\n");
    return nullptr;
  }
  std::memcpy(copy->pixels, image->pixels, BufferBytes(image->width, image->height, image->format));
  return copy;
}

namespace {

inline uint8_t* PixelAt(const ChunkyImage* image, int x, int y, int bpp) {
  return image->pixels + (static_cast<size_t>(y) * static_cast<size_t>(image->width) + static_cast<size_t>(x)) * bpp;
}
inline unsigned Word16(const uint8_t* p) {
  return (unsigned{p[0]} << 8) | p[1];
}
inline void PutWord16(uint8_t* p, unsigned v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

}  // namespace

void GetPixel(const ChunkyImage* image, int x, int y, uint8_t& a, uint8_t& r, uint8_t& g, uint8_t& b) {
  switch (image->format) {
    case RGB24: {
      const uint8_t* p = PixelAt(image, x, y, 3);
      a = 255, r = p[0], g = p[1], b = p[2];
      break;
    }
    case RGB565: {
      unsigned v = Word16(PixelAt(image, x, y, 2));
      a = 255;
      r = static_cast<uint8_t>((v >> 8) & 0xF8);
      g = static_cast<uint8_t>((v >> 3) & 0xFC);
      b = static_cast<uint8_t>((v << 3) & 0xF8);
      break;
    }
    case ARGB4444: {
      unsigned v = Word16(PixelAt(image, x, y, 2));
      a = static_cast<uint8_t>((v >> 8) & 0xF0);
      r = static_cast<uint8_t>((v >> 4) & 0xF0);
      g = static_cast<uint8_t>(v & 0xF0);
      b = static_cast<uint8_t>((v << 4) & 0xF0);
      break;
    }
    case ARGB32: {
      const uint8_t* p = PixelAt(image, x, y, 4);
      a = p[0], r = p[1], g = p[2], b = p[3];
      break;
    }
    case GREY8: {
      uint8_t v = *PixelAt(image, x, y, 1);
      a = 255, r = g = b = v;
      break;
    }
    case ALPHA8:
      a = *PixelAt(image, x, y, 1);
      r = g = b = 255;
      break;
    default: break;
  }
}

void SetPixel(ChunkyImage* image, int x, int y, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  switch (image->format) {
    case RGB24: {
      uint8_t* p = PixelAt(image, x, y, 3);
      p[0] = r, p[1] = g, p[2] = b;
      break;
    }
    case RGB565:
      PutWord16(PixelAt(image, x, y, 2), ((unsigned{r} >> 3) << 11) | ((unsigned{g} >> 2) << 5) | (unsigned{b} >> 3));
      break;
    case ARGB4444:
      PutWord16(PixelAt(image, x, y, 2),
                ((unsigned{a} >> 4) << 12) | ((unsigned{r} >> 4) << 8) | (unsigned{g} & 0xF0) | (unsigned{b} >> 4));
      break;
    case ARGB32: {
      uint8_t* p = PixelAt(image, x, y, 4);
      p[0] = a, p[1] = r, p[2] = g, p[3] = b;
      break;
    }
    case GREY8: *PixelAt(image, x, y, 1) = static_cast<uint8_t>((unsigned{r} + g + b) / 3); break;
    case ALPHA8: *PixelAt(image, x, y, 1) = a; break;
    default: break;
  }
}

void Fill(ChunkyImage* image, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (!image) return;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) SetPixel(image, x, y, a, r, g, b);
}

namespace {
Texture* WrapInTexture(ChunkyImage* chunky) {
  if (!chunky) return nullptr;
  auto* t = new (std::nothrow) Texture();
  if (!t) {
    chk_Free(chunky);
    return nullptr;
  }
  t->chunky = chunky;
  return t;
}
}  // namespace

Texture* CreateTexture(int32_t width, int32_t height, uint32_t format) {
  return WrapInTexture(chk_Create(width, height, format, false));
}

Texture* CreateTextureZeroed(int32_t width, int32_t height, uint32_t format) {
  return WrapInTexture(chk_Create(width, height, format, true));
}

Texture* CreateTextureForOverwrite(int32_t width, int32_t height, uint32_t format) {
  return WrapInTexture(chk_CreateForOverwrite(width, height, format));
}

void FreeTexture(Texture* texture) {
  if (!texture) return;
  chk_Free(texture->chunky);
  delete texture;
}

Texture* DuplicateTexture(const Texture* texture) {
  if (!texture || !texture->chunky) return nullptr;
  const ChunkyImage* c = texture->chunky;
  Texture* copy = CreateTextureForOverwrite(c->width, c->height, c->format);
  if (!copy) return nullptr;
  std::memcpy(copy->chunky->pixels, c->pixels, BufferBytes(c->width, c->height, c->format));
  copy->iccProfile = texture->iccProfile;
  copy->preview = texture->preview;
  copy->exifBlock = texture->exifBlock;
  copy->exifOrientationApplied = texture->exifOrientationApplied;
  return copy;
}

namespace {
inline size_t Count(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<size_t>(width) * static_cast<size_t>(height);
}
}  // namespace

namespace {

inline void WidenRGB24Pixel(const uint8_t* src, uint8_t* dst, size_t i) {
  uint8_t r = src[i * 3], g = src[i * 3 + 1], b = src[i * 3 + 2];
  dst[i * 4] = 0xFF, dst[i * 4 + 1] = r, dst[i * 4 + 2] = g, dst[i * 4 + 3] = b;
}

// Pixels [0, n) of the backward widening, four at a time with a byte shuffle, from the top
// down; returns the count of pixels left at the bottom (fewer than four). A block reads the
// 16 bytes from its first source pixel j on (its four pixels and four bytes of pixels done
// already) before it writes its 16 bytes from 4j on; in place, the source bytes not yet
// read all lie below 3j, so the walk reads exactly what the plain loop reads. The caller
// keeps the 16-byte reads inside the source.
__attribute__((target("ssse3"))) size_t WidenRGB24Blocks(const uint8_t* src, uint8_t* dst, size_t n) {
  const __m128i shuffle = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m128i alpha = _mm_setr_epi8(-1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0);
  size_t i = n;  // pixels [i, n) are done
  for (; i >= 4; i -= 4) {
    const size_t j = i - 4;
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j * 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j * 4), _mm_or_si128(_mm_shuffle_epi8(in, shuffle), alpha));
  }
  return i;
}

}  // namespace

void ConvertRGB24ToARGB32(const uint8_t* src, uint8_t* dst, int width, int height) {
  const size_t n = Count(width, height);
  size_t i = n;
  // The shuffled blocks need the buffers to be the same or apart (the backward walk allows
  // other overlaps, which keep the plain loop), and the top two pixels done first so the
  // last block's 16-byte read stays inside the source.
  const bool apart = src + n * 3 <= dst || dst + n * 4 <= src;
  if ((src == dst || apart) && n >= 8 && platform::CpuHasSsse3()) {
    for (; i > n - 2;) WidenRGB24Pixel(src, dst, --i);
    i = WidenRGB24Blocks(src, dst, i);
  }
  while (i-- > 0) WidenRGB24Pixel(src, dst, i);
}

void ConvertGREY8ToARGB32(const uint8_t* src, uint8_t* dst, int width, int height) {
  for (size_t i = Count(width, height); i-- > 0;) {
    uint8_t v = src[i];
    dst[i * 4] = 0xFF, dst[i * 4 + 1] = v, dst[i * 4 + 2] = v, dst[i * 4 + 3] = v;
  }
}

void ConvertRGB24ToRGBA32(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    dst[i * 4] = src[i * 3], dst[i * 4 + 1] = src[i * 3 + 1], dst[i * 4 + 2] = src[i * 3 + 2], dst[i * 4 + 3] = 0xFF;
  }
}

void ConvertARGB32ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    dst[i * 3] = src[i * 4 + 1], dst[i * 3 + 1] = src[i * 4 + 2], dst[i * 3 + 2] = src[i * 4 + 3];
  }
}

void ConvertARGB32ToRGBA32(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    uint8_t a = src[i * 4], r = src[i * 4 + 1], g = src[i * 4 + 2], b = src[i * 4 + 3];
    dst[i * 4] = r, dst[i * 4 + 1] = g, dst[i * 4 + 2] = b, dst[i * 4 + 3] = a;
  }
}

void ConvertARGB32ToWords(const uint8_t* src, uint8_t* dst, int width, int height, size_t dstStride) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = src + static_cast<size_t>(y) * w * 4;
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
    for (size_t x = 0; x < w; ++x) {
      const uint32_t word = uint32_t{s[x * 4]} << 24 | uint32_t{s[x * 4 + 1]} << 16 | uint32_t{s[x * 4 + 2]} << 8 |
                            uint32_t{s[x * 4 + 3]};
      std::memcpy(d + x * 4, &word, 4);
    }
  }
}

void ConvertWordsToARGB32(const uint8_t* src, size_t srcStride, uint8_t* dst, int width, int height) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
    uint8_t* d = dst + static_cast<size_t>(y) * w * 4;
    for (size_t x = 0; x < w; ++x) {
      uint32_t word;
      std::memcpy(&word, s + x * 4, 4);
      d[x * 4] = static_cast<uint8_t>(word >> 24);
      d[x * 4 + 1] = static_cast<uint8_t>(word >> 16);
      d[x * 4 + 2] = static_cast<uint8_t>(word >> 8);
      d[x * 4 + 3] = static_cast<uint8_t>(word);
    }
  }
}

void ConvertARGB32ToOpaque(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  if (src != dst) std::memmove(dst, src, n * 4);
  for (size_t i = 0; i < n; ++i) dst[i * 4] = 0xFF;
}

void ConvertRGBA32ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    dst[i * 3] = src[i * 4], dst[i * 3 + 1] = src[i * 4 + 1], dst[i * 3 + 2] = src[i * 4 + 2];
  }
}

void ConvertGREY8ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) dst[i * 3] = dst[i * 3 + 1] = dst[i * 3 + 2] = src[i];
}

void ConvertALPHA8ToRGB24(const uint8_t*, uint8_t* dst, int width, int height) {
  std::memset(dst, 255, Count(width, height) * 3);
}

void ConvertARGB4444ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    unsigned v = Word16(src + i * 2);
    dst[i * 3] = Widen4((v >> 8) & 15), dst[i * 3 + 1] = Widen4((v >> 4) & 15), dst[i * 3 + 2] = Widen4(v & 15);
  }
}

void ConvertRGB565ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  size_t n = Count(width, height);
  for (size_t i = 0; i < n; ++i) {
    unsigned v = Word16(src + i * 2);
    dst[i * 3] = Widen5(v >> 11), dst[i * 3 + 1] = Widen6((v >> 5) & 63), dst[i * 3 + 2] = Widen5(v & 31);
  }
}

void ConvertRGB24ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height) {
  std::memmove(dst, src, Count(width, height) * 3);
}

namespace {
// float -> int truncation that stays defined for NaN and out-of-range values.
int TruncToInt(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483520.0f) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}
}  // namespace

Size FitSize(int width, int height, int boxWidth, int boxHeight) {
  float w = static_cast<float>(width), h = static_cast<float>(height);
  float bw = static_cast<float>(boxWidth), bh = static_cast<float>(boxHeight);
  int nw, nh;
  if (bh < (h / w) * bw) {
    nw = TruncToInt((w / h) * bh);
    nh = TruncToInt(bh);
  } else {
    nw = TruncToInt(bw);
    nh = TruncToInt((h / w) * bw);
  }
  return {nw < 1 ? 1 : nw, nh < 1 ? 1 : nh};
}

void PackLumaChroma(const uint8_t* rgb, uint8_t* packed, int width, int height) {
  if (width < 2 || height <= 0) return;
  const int pairs = width / 2;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rgb + static_cast<size_t>(y) * width * 3;
    uint8_t* out = packed + static_cast<size_t>(y) * width * 2;
    for (int i = 0; i < pairs; ++i, in += 6, out += 4) {
      int r0 = in[0], g0 = in[1], b0 = in[2], r1 = in[3], g1 = in[4], b1 = in[5];
      int y0 = ((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16;
      int u = ((-38 * r0 - 74 * g0 + 112 * b0 + 128) >> 8) + 128;
      int y1 = ((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16;
      int v = ((112 * r1 - 94 * g1 - 18 * b1 + 128) >> 8) + 128;
      out[0] = static_cast<uint8_t>(y0), out[1] = static_cast<uint8_t>(u);
      out[2] = static_cast<uint8_t>(y1), out[3] = static_cast<uint8_t>(v);
    }
  }
}

namespace {
const std::array<uint8_t, 2048>& ClampTable() {
  static const std::array<uint8_t, 2048> table = [] {
    std::array<uint8_t, 2048> t{};
    for (int i = 0; i < 2048; ++i) {
      int v = i - 512;
      t[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
  }();
  return table;
}
inline uint8_t Clamp(const std::array<uint8_t, 2048>& t, int s) {
  int i = (s >> 8) + 512;
  return t[i < 0 ? 0 : i > 2047 ? 2047 : i];
}
}  // namespace

void UnpackLumaChroma(const uint8_t* packed, uint8_t* rgb, int width, int height) {
  if (width < 2 || height <= 0) return;
  const auto& t = ClampTable();
  const int pairs = width / 2;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = packed + static_cast<size_t>(y) * width * 2;
    uint8_t* row = rgb + static_cast<size_t>(y) * width * 3;
    uint8_t* out = row;
    for (int i = 0; i < pairs; ++i, in += 4, out += 6) {
      int d = in[1] - 128, e = in[3] - 128;
      int c0 = 298 * in[0] - 4768, c1 = 298 * in[2] - 4768;
      out[0] = Clamp(t, c0 + 409 * e + 128);
      out[1] = Clamp(t, c0 - 100 * d - 200 * e + 128);
      out[2] = Clamp(t, c0 + 516 * d + 128);
      out[3] = Clamp(t, c1 + 409 * e + 128);
      out[4] = Clamp(t, c1 - 100 * d - 200 * e + 128);
      out[5] = Clamp(t, c1 + 516 * d + 128);
    }
    if (width & 1) std::memcpy(row + (width - 1) * 3, row + (width - 2) * 3, 3);
  }
}

}  // namespace vl::image
