// IFF ILBM reader: BMHD, CMAP, CAMG and BODY chunks; uncompressed and ByteRun1 bodies;
// 1 to 8 planes with a colour map (EHB and HAM6/HAM8 too), 24 planes (red 0-7, green
// 8-15, blue 16-23) and 32 planes (alpha 24-31); a mask plane is skipped.
#include <cstring>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

constexpr uint32_t kCamgEhb = 0x80, kCamgHam = 0x800;
constexpr uint8_t kMaskPlane = 1;
// A 2-byte replicate run gives 128 bytes.
constexpr uint64_t kByteRunRatio = 64;

bool Id(const uint8_t* p, const char* id) {
  return std::memcmp(p, id, 4) == 0;
}

// ByteRun1: n in 0..127 copies n + 1 bytes, n in -127..-1 repeats the next byte 1 - n
// times, -128 does nothing. False when the input ends before out is full.
bool UnpackByteRun1(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  size_t i = 0, o = 0;
  while (o < outSize) {
    if (i >= inSize) return false;
    int8_t n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      size_t k = static_cast<size_t>(n) + 1;
      if (k > inSize - i || k > outSize - o) return false;
      std::memcpy(out + o, in + i, k);
      i += k;
      o += k;
    } else if (n != -128) {
      size_t k = static_cast<size_t>(1 - n);
      if (i >= inSize || k > outSize - o) return false;
      std::memset(out + o, in[i++], k);
      o += k;
    }
  }
  return true;
}

struct Header {
  uint16_t width = 0, height = 0;
  uint8_t planes = 0, masking = 0, compression = 0;
};

}  // namespace

bool SniffIlbm(const uint8_t* data, size_t size) {
  return size >= 12 && Id(data, "FORM") && Id(data + 8, "ILBM");
}

bool DecodeIlbm(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffIlbm(data, size)) return false;
  size_t formEnd = std::min<uint64_t>(size, static_cast<uint64_t>(decode::Be32(data + 4)) + 8);
  Header bmhd;
  bool haveHeader = false;
  const uint8_t* cmap = nullptr;
  size_t cmapSize = 0;
  uint32_t camg = 0;
  const uint8_t* body = nullptr;
  size_t bodySize = 0;
  for (size_t pos = 12; pos + 8 <= formEnd;) {
    const uint8_t* ck = data + pos;
    uint64_t len = decode::Be32(ck + 4);
    if (len > formEnd - pos - 8) return false;  // a chunk reaching past the data
    const uint8_t* p = ck + 8;
    if (Id(ck, "BMHD")) {
      if (len < 20) return false;
      bmhd.width = decode::Be16(p);
      bmhd.height = decode::Be16(p + 2);
      bmhd.planes = p[8];
      bmhd.masking = p[9];
      bmhd.compression = p[10];
      haveHeader = true;
    } else if (Id(ck, "CMAP")) {
      cmap = p;
      cmapSize = static_cast<size_t>(len);
    } else if (Id(ck, "CAMG") && len >= 4) {
      camg = decode::Be32(p);
    } else if (Id(ck, "BODY")) {
      body = p;
      bodySize = static_cast<size_t>(len);
      break;
    }
    pos += 8 + static_cast<size_t>(len) + (len & 1);
  }
  if (!haveHeader || !body) return false;
  int planes = bmhd.planes;
  bool ham = (camg & kCamgHam) && (planes == 6 || planes == 8);
  bool ehb = !ham && (camg & kCamgEhb) && planes == 6;
  if (!((planes >= 1 && planes <= 8) || planes == 24 || planes == 32)) return false;
  if (bmhd.compression > 1) return false;
  int64_t w = bmhd.width, h = bmhd.height;
  if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
  uint64_t rowBytes = (static_cast<uint64_t>(w) + 15) / 16 * 2;
  uint64_t planeRows = static_cast<uint64_t>(planes) + (bmhd.masking == kMaskPlane ? 1 : 0);
  uint64_t total = rowBytes * planeRows * static_cast<uint64_t>(h);
  if (bmhd.compression == 0 ? total > bodySize : total > bodySize * kByteRunRatio) return false;
  std::vector<uint8_t> unpacked;
  const uint8_t* bits = body;
  if (bmhd.compression == 1) {
    unpacked.resize(static_cast<size_t>(total));
    if (!UnpackByteRun1(body, bodySize, unpacked.data(), unpacked.size())) return false;
    bits = unpacked.data();
  }

  bool indexed = planes <= 8 && !ham;
  std::vector<uint8_t> palette(256 * 3, 0);
  if (planes <= 8) {
    size_t entries = std::min<size_t>(cmapSize / 3, 256);
    if (entries == 0) {
      palette = decode::GreyPalette(1 << planes);
    } else {
      std::memcpy(palette.data(), cmap, entries * 3);
    }
    if (ehb)
      for (int i = 0; i < 32; ++i)
        for (int c = 0; c < 3; ++c) palette[(32 + i) * 3 + c] = palette[i * 3 + c] >> 1;
  }
  int depth = indexed ? planes : planes == 32 ? 32 : 24;
  if (!decode::AllocatePixels(out, w, h, depth)) return false;
  uint8_t* px = out.pixels->pixels;
  std::vector<uint32_t> values(static_cast<size_t>(w));
  for (int64_t y = 0; y < h; ++y) {
    std::fill(values.begin(), values.end(), 0u);
    const uint8_t* row = bits + static_cast<uint64_t>(y) * planeRows * rowBytes;
    for (int p = 0; p < planes; ++p) {
      const uint8_t* plane = row + p * rowBytes;
      for (int64_t x = 0; x < w; ++x)
        if ((plane[x >> 3] >> (7 - (x & 7))) & 1) values[static_cast<size_t>(x)] |= 1u << p;
    }
    if (indexed) {
      for (int64_t x = 0; x < w; ++x) px[y * w + x] = static_cast<uint8_t>(values[static_cast<size_t>(x)]);
      continue;
    }
    uint8_t* dst = px + y * w * 4;
    if (!ham) {
      for (int64_t x = 0; x < w; ++x) {
        uint32_t v = values[static_cast<size_t>(x)];
        decode::PutArgb(dst + x * 4, planes == 32 ? static_cast<uint8_t>(v >> 24) : 255, static_cast<uint8_t>(v),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16));
      }
      continue;
    }
    // Hold-and-modify: each pixel takes a palette colour or changes one channel of the last.
    int valueBits = planes - 2;
    uint8_t r = palette[0], g = palette[1], b = palette[2];
    for (int64_t x = 0; x < w; ++x) {
      uint32_t v = values[static_cast<size_t>(x)];
      uint32_t control = v >> valueBits, val = v & ((1u << valueBits) - 1);
      uint8_t wide = valueBits == 4 ? static_cast<uint8_t>(val * 17) : static_cast<uint8_t>(val << 2 | val >> 4);
      switch (control) {
        case 0: r = palette[val * 3], g = palette[val * 3 + 1], b = palette[val * 3 + 2]; break;
        case 1: b = wide; break;
        case 2: r = wide; break;
        default: g = wide; break;
      }
      decode::PutArgb(dst + x * 4, 255, r, g, b);
    }
  }
  out.hasAlpha = planes == 32;
  if (indexed) out.palette = std::move(palette);
  out.typeName = "ILBM";
  return true;
}

}  // namespace vl::formats
