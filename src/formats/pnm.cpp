// PNM reader: P1 to P6 (plain and raw bitmaps, grey maps and pixel maps), comments,
// maxval 1 to 65535 scaled to 8 bits, 16-bit raw samples big-endian.
#include <cstring>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

struct Cursor {
  const uint8_t* data;
  size_t size;
  size_t pos;

  bool SkipSpace() {
    while (pos < size) {
      uint8_t c = data[pos];
      if (c == '#') {
        while (pos < size && data[pos] != '\n' && data[pos] != '\r') ++pos;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        ++pos;
      } else {
        return true;
      }
    }
    return false;
  }
  // A decimal number of at most limit; false on anything else.
  bool Number(uint32_t limit, uint32_t& v) {
    if (!SkipSpace() || data[pos] < '0' || data[pos] > '9') return false;
    uint64_t x = 0;
    while (pos < size && data[pos] >= '0' && data[pos] <= '9') {
      x = x * 10 + (data[pos++] - '0');
      if (x > limit) return false;
    }
    v = static_cast<uint32_t>(x);
    return true;
  }
};

uint8_t Scale(uint32_t v, uint32_t maxval) {
  if (v > maxval) v = maxval;
  return static_cast<uint8_t>((static_cast<uint64_t>(v) * 255 + maxval / 2) / maxval);
}

}  // namespace

bool SniffPnm(const uint8_t* data, size_t size) {
  if (size < 3 || data[0] != 'P' || data[1] < '1' || data[1] > '6') return false;
  uint8_t c = data[2];
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#';
}

bool DecodePnm(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffPnm(data, size)) return false;
  int kind = data[1] - '0';
  Cursor cur{data, size, 2};
  uint32_t w = 0, h = 0, maxval = 1;
  if (!cur.Number(1u << 28, w) || !cur.Number(1u << 28, h)) return false;
  bool bitmap = kind == 1 || kind == 4;
  if (!bitmap && (!cur.Number(65535, maxval) || maxval == 0)) return false;
  if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
  bool raw = kind >= 4;
  bool colour = kind == 3 || kind == 6;
  int channels = colour ? 3 : 1;
  uint64_t count = static_cast<uint64_t>(w) * h;
  if (raw) {
    // Exactly one whitespace byte separates the header from the samples.
    if (cur.pos >= size) return false;
    ++cur.pos;
    uint64_t need = kind == 4 ? (w + 7) / 8 * static_cast<uint64_t>(h) : count * channels * (maxval > 255 ? 2 : 1);
    if (need > size - cur.pos) return false;
  } else if (count * channels > (size - cur.pos + 1) / (kind == 1 ? 1 : 2)) {
    return false;  // a plain sample takes at least one digit and a separator (bits: one digit)
  }
  int depth = colour ? 24 : bitmap ? 1 : 8;
  if (!decode::AllocatePixels(out, w, h, depth)) return false;
  uint8_t* px = out.pixels->pixels;
  if (bitmap) {
    out.palette = decode::GreyPalette(2, true);  // 1 is black
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t bit;
        if (raw) {
          bit = (data[cur.pos + y * ((w + 7) / 8) + x / 8] >> (7 - (x & 7))) & 1;
        } else {
          // Plain bits need no separators: each is one digit.
          if (!cur.SkipSpace() || (data[cur.pos] != '0' && data[cur.pos] != '1')) {
            out = DecodedPicture();
            return false;
          }
          bit = data[cur.pos++] - '0';
        }
        px[static_cast<size_t>(y) * w + x] = bit;
      }
  } else {
    if (!colour) out.palette = decode::GreyPalette(256);
    const uint8_t* p = data + cur.pos;
    for (uint64_t i = 0; i < count; ++i) {
      uint8_t s[3];
      for (int c = 0; c < channels; ++c) {
        uint32_t v = 0;
        if (!raw) {
          if (!cur.Number(65535, v)) {
            out = DecodedPicture();
            return false;
          }
        } else if (maxval > 255) {
          v = decode::Be16(p);
          p += 2;
        } else {
          v = *p++;
        }
        s[c] = Scale(v, maxval);
      }
      if (colour)
        decode::PutArgb(px + i * 4, 255, s[0], s[1], s[2]);
      else
        px[i] = s[0];
    }
  }
  out.typeName = "PNM";
  return true;
}

}  // namespace vl::formats
