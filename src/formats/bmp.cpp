// BMP reader: OS/2 and Windows headers (12 to 124 bytes), 1, 4 and 8 bits with a palette,
// RLE4 and RLE8, 16 and 32 bits with or without bit fields, 24 bits; bottom-up and
// top-down rows.
#include <cstring>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;
// A run-length pair gives at most 255 pixels; deltas skip more, rarely.
constexpr int64_t kRleRatio = 1024;

bool KnownHeaderSize(uint32_t n) {
  return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

struct Field {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
};

Field MakeField(uint32_t mask) {
  Field f;
  f.mask = mask;
  if (!mask) return f;
  while (!((mask >> f.shift) & 1)) ++f.shift;
  uint64_t m = mask >> f.shift;
  f.max = static_cast<uint32_t>(m);
  return f;
}

uint8_t FieldValue(const Field& f, uint32_t v, uint8_t absent) {
  if (!f.mask) return absent;
  uint64_t x = (v & f.mask) >> f.shift;
  return static_cast<uint8_t>((x * 255 + f.max / 2) / f.max);
}

// Run-length decoding of RLE8 (bits 8) and RLE4 (bits 4) into bottom-up index rows.
bool DecodeRle(const uint8_t* in, size_t n, int bits, uint8_t* px, int64_t w, int64_t h, bool topDown) {
  int64_t x = 0, y = 0;
  size_t i = 0;
  auto put = [&](uint8_t v) {
    if (x < w && y < h) px[(topDown ? y : h - 1 - y) * w + x] = v;
    ++x;
  };
  while (i + 1 < n) {
    uint8_t count = in[i], value = in[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) put(bits == 8 ? value : (k & 1) ? (value & 15) : (value >> 4));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return true;
    } else if (value == 2) {  // delta
      if (i + 1 >= n) return false;
      x += in[i];
      y += in[i + 1];
      i += 2;
    } else {  // absolute run of value pixels, padded to 16 bits
      size_t bytes = bits == 8 ? value : (value + 1u) / 2;
      if (bytes > n - i) return false;
      for (int k = 0; k < value; ++k)
        put(bits == 8 ? in[i + k] : (k & 1) ? (in[i + k / 2] & 15) : (in[i + k / 2] >> 4));
      i += (bytes + 1) & ~size_t{1};
    }
    if (y >= h) return true;
  }
  return false;  // the data ended before the picture did
}

}  // namespace

bool SniffBmp(const uint8_t* data, size_t size) {
  return size >= 18 && data[0] == 'B' && data[1] == 'M' && KnownHeaderSize(decode::Le32(data + 14));
}

bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffBmp(data, size)) return false;
  uint32_t headerSize = decode::Le32(data + 14);
  if (size < 14 + static_cast<size_t>(headerSize)) return false;
  const uint8_t* hd = data + 14;
  uint32_t offset = decode::Le32(data + 10);
  int64_t w, h;
  uint32_t bpp, compression = kBiRgb, colorsUsed = 0;
  bool topDown = false;
  size_t paletteEntryBytes = 4;
  if (headerSize == 12) {
    w = decode::Le16(hd + 4);
    h = decode::Le16(hd + 6);
    bpp = decode::Le16(hd + 10);
    paletteEntryBytes = 3;
  } else {
    w = static_cast<int32_t>(decode::Le32(hd + 4));
    h = static_cast<int32_t>(decode::Le32(hd + 8));
    bpp = decode::Le16(hd + 14);
    compression = decode::Le32(hd + 16);
    colorsUsed = decode::Le32(hd + 32);
    if (h < 0) {
      topDown = true;
      h = -h;
    }
  }
  if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
  // Bit-field masks: inside the header from 52 bytes on, else right after a 40-byte one.
  uint32_t masks[4] = {0, 0, 0, 0};
  size_t paletteAt = 14 + headerSize;
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    size_t count = compression == kBiAlphaBitfields ? 4 : 3;
    const uint8_t* m = hd + 40;
    if (headerSize == 40) {
      if (paletteAt + count * 4 > size) return false;
      paletteAt += count * 4;
    } else if (headerSize < 40 + count * 4) {
      return false;  // the masks must lie inside the header (an alpha mask needs 56 bytes)
    }
    if (headerSize >= 56) count = 4;
    for (size_t k = 0; k < count; ++k) masks[k] = decode::Le32(m + k * 4);
  } else if (bpp == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else if (bpp == 32) {
    masks[0] = 0x00FF0000, masks[1] = 0x0000FF00, masks[2] = 0x000000FF;
  }
  bool valid = (compression == kBiRgb && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)) ||
               (compression == kBiRle8 && bpp == 8 && !topDown) || (compression == kBiRle4 && bpp == 4 && !topDown) ||
               ((compression == kBiBitfields || compression == kBiAlphaBitfields) && (bpp == 16 || bpp == 32));
  if (!valid || offset >= size) return false;
  const uint8_t* body = data + offset;
  size_t avail = size - offset;
  uint64_t stride = (static_cast<uint64_t>(w) * bpp + 31) / 32 * 4;
  bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (rle ? !decode::Plausible(w, h, avail, kRleRatio) : stride * static_cast<uint64_t>(h) > avail) return false;

  if (bpp <= 8) {
    out.palette.assign(256 * 3, 0);
    size_t entries = colorsUsed ? std::min<uint32_t>(colorsUsed, 256) : (1u << bpp);
    if (paletteAt < offset)
      entries = std::min(entries, (offset - paletteAt) / paletteEntryBytes);
    else
      entries = 0;
    for (size_t i = 0; i < entries; ++i) {
      const uint8_t* e = data + paletteAt + i * paletteEntryBytes;
      out.palette[i * 3] = e[2], out.palette[i * 3 + 1] = e[1], out.palette[i * 3 + 2] = e[0];
    }
    std::vector<uint8_t> palette = std::move(out.palette);
    if (!decode::AllocatePixels(out, w, h, static_cast<int>(bpp))) return false;
    out.palette = std::move(palette);
    uint8_t* px = out.pixels->pixels;
    if (rle) {
      if (!DecodeRle(body, avail, static_cast<int>(bpp), px, w, h, topDown)) {
        out = DecodedPicture();
        return false;
      }
    } else {
      for (int64_t y = 0; y < h; ++y) {
        const uint8_t* row = body + (topDown ? y : h - 1 - y) * stride;
        uint8_t* dst = px + y * w;
        for (int64_t x = 0; x < w; ++x) {
          if (bpp == 8)
            dst[x] = row[x];
          else if (bpp == 4)
            dst[x] = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
          else
            dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
      }
    }
  } else {
    Field r = MakeField(masks[0]), g = MakeField(masks[1]), b = MakeField(masks[2]), a = MakeField(masks[3]);
    bool alpha = a.mask != 0;
    if (!decode::AllocatePixels(out, w, h, alpha ? 32 : 24)) return false;
    out.hasAlpha = alpha;
    uint8_t* px = out.pixels->pixels;
    for (int64_t y = 0; y < h; ++y) {
      const uint8_t* row = body + (topDown ? y : h - 1 - y) * stride;
      uint8_t* dst = px + y * w * 4;
      for (int64_t x = 0; x < w; ++x) {
        if (bpp == 24) {
          const uint8_t* p = row + x * 3;
          decode::PutArgb(dst + x * 4, 255, p[2], p[1], p[0]);
          continue;
        }
        uint32_t v = bpp == 16 ? decode::Le16(row + x * 2) : decode::Le32(row + x * 4);
        decode::PutArgb(dst + x * 4, FieldValue(a, v, 255), FieldValue(r, v, 0), FieldValue(g, v, 0),
                        FieldValue(b, v, 0));
      }
    }
  }
  out.typeName = "BMP";
  return true;
}

}  // namespace vl::formats
