#include "formats/sunraster.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/decoders.h"
#include "formats/file_read.h"
#include "platform/messages.h"

namespace vl::formats {
namespace {

constexpr uint32_t kMagic = 0x59A66A95u;
constexpr uint32_t kTypeOld = 0, kTypeStandard = 1, kTypeByteEncoded = 2, kTypeRgb = 3;
constexpr size_t kHeaderBytes = 32;

struct Header {
  uint32_t magic, width, height, depth, length, type, mapType, mapLength;
};

Header ParseHeader(const uint8_t* p) {
  Header h;
  h.magic = decode::Be32(p);
  h.width = decode::Be32(p + 4);
  h.height = decode::Be32(p + 8);
  h.depth = decode::Be32(p + 12);
  h.length = decode::Be32(p + 16);
  h.type = decode::Be32(p + 20);
  h.mapType = decode::Be32(p + 24);
  h.mapLength = decode::Be32(p + 28);
  return h;
}

struct FileCloser {
  FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

// Opens the file and checks the header for what the built-in reader handles: uncompressed
// 24- or 32-bit pixels without a colour map, rows without padding. On success the stream
// stands at the pixel data and dataBytes holds the pixel byte count.
bool OpenBuiltIn(const char* path, FileCloser& file, Header& h, size_t& dataBytes, bool& shortData) {
  shortData = false;
  file.f = OpenRegularFile(path);
  if (!file.f) return false;
  uint8_t raw[kHeaderBytes] = {};
  size_t got = std::fread(raw, 1, kHeaderBytes, file.f);
  if (got < 16) return false;
  h = ParseHeader(raw);
  if (std::fseek(file.f, static_cast<long>(kHeaderBytes), SEEK_SET) != 0) return false;
  if (h.magic != kMagic || (h.depth != 24 && h.depth != 32)) return false;
  if (!image::SizeAllowed(h.width, h.height, image::ARGB32)) return false;
  if (got == kHeaderBytes) {
    if (h.type != kTypeOld && h.type != kTypeStandard && h.type != kTypeRgb) return false;
    if (h.mapLength > 0) return false;
    if (h.depth == 24 && (h.width & 1)) return false;
  }
  dataBytes = static_cast<size_t>(h.width) * h.height * (h.depth / 8);
  struct stat st;
  if (fstat(fileno(file.f), &st) != 0) return false;
  uint64_t available =
      st.st_size > static_cast<off_t>(kHeaderBytes) ? static_cast<uint64_t>(st.st_size) - kHeaderBytes : 0;
  if (got < kHeaderBytes || available < dataBytes) shortData = true;
  return true;
}

void IoError() {
  platform::PrintMessage("[Sunraster]: IO Error\n");
}

}  // namespace

image::Texture* ReadSunRaster(const char* path) {
  FileCloser file{nullptr};
  Header h;
  size_t bytes = 0;
  bool shortData = false;
  if (!OpenBuiltIn(path, file, h, bytes, shortData)) return nullptr;
  if (shortData) {  // refused before allocating: the file cannot hold the pixels it claims
    IoError();
    return nullptr;
  }
  image::TexturePtr tex(
      image::CreateTexture(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), image::ARGB32));
  if (!tex) return nullptr;
  uint8_t* px = tex->chunky->pixels;
  if (std::fread(px, 1, bytes, file.f) != bytes) {
    IoError();
    return nullptr;
  }
  size_t count = static_cast<size_t>(h.width) * h.height;
  bool bgr = h.type != kTypeRgb;
  if (h.depth == 32) {
    if (bgr)
      for (size_t i = 0; i < count; ++i) std::swap(px[i * 4 + 1], px[i * 4 + 3]);
  } else {
    if (bgr)
      for (size_t i = 0; i < count; ++i) std::swap(px[i * 3], px[i * 3 + 2]);
    image::ConvertRGB24ToARGB32(px, px, tex->chunky->width, tex->chunky->height);
  }
  return tex.release();
}

image::Texture* ReadSunRasterForScan(const char* path) {
  FileCloser file{nullptr};
  Header h;
  size_t bytes = 0;
  bool shortData = false;
  if (!OpenBuiltIn(path, file, h, bytes, shortData)) return nullptr;
  if (shortData) {
    IoError();
    return nullptr;
  }
  image::TexturePtr tex(
      image::CreateTexture(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), image::RGB24));
  if (!tex) return nullptr;
  uint8_t* px = tex->chunky->pixels;
  size_t count = static_cast<size_t>(h.width) * h.height;
  if (h.depth == 24) {
    if (std::fread(px, 1, bytes, file.f) != bytes) {
      IoError();
      return nullptr;
    }
  } else {
    std::vector<uint8_t> row(static_cast<size_t>(h.width) * 4);
    for (uint32_t y = 0; y < h.height; ++y) {
      if (std::fread(row.data(), 1, row.size(), file.f) != row.size()) {
        IoError();
        return nullptr;
      }
      uint8_t* out = px + static_cast<size_t>(y) * h.width * 3;
      for (uint32_t x = 0; x < h.width; ++x) std::memcpy(out + x * 3, row.data() + x * 4 + 1, 3);
    }
  }
  if (h.type != kTypeRgb)
    for (size_t i = 0; i < count; ++i) std::swap(px[i * 3], px[i * 3 + 2]);
  return tex.release();
}

// The system decoder's Sun Raster reader: every depth (1, 8, 24, 32), colour maps, the
// byte-encoded (run-length) type, and rows padded to 16 bits.

bool SniffSunRaster(const uint8_t* data, size_t size) {
  return size >= 4 && decode::Be32(data) == kMagic;
}

namespace {

// Run-length decoding: 0x80 n v gives n + 1 copies of v (n = 0: one 0x80); any other
// byte stands for itself. False when the input ends before out is full.
bool DecodeRle(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  size_t i = 0, o = 0;
  while (o < outSize) {
    if (i >= inSize) return false;
    uint8_t b = in[i++];
    if (b != 0x80) {
      out[o++] = b;
      continue;
    }
    if (i >= inSize) return false;
    uint8_t n = in[i++];
    if (n == 0) {
      out[o++] = 0x80;
      continue;
    }
    if (i >= inSize) return false;
    uint8_t v = in[i++];
    size_t run = std::min<size_t>(static_cast<size_t>(n) + 1, outSize - o);
    std::memset(out + o, v, run);
    o += run;
  }
  return true;
}

}  // namespace

bool DecodeSunRaster(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (size < kHeaderBytes || !SniffSunRaster(data, size)) return false;
  Header h = ParseHeader(data);
  if (h.depth != 1 && h.depth != 8 && h.depth != 24 && h.depth != 32) return false;
  if (h.type != kTypeOld && h.type != kTypeStandard && h.type != kTypeByteEncoded && h.type != kTypeRgb) return false;
  if (h.mapType > 2 || h.mapLength > size - kHeaderBytes) return false;
  if (!image::SizeAllowed(h.width, h.height, image::ARGB32)) return false;
  const uint8_t* map = data + kHeaderBytes;
  const uint8_t* body = map + h.mapLength;
  size_t avail = size - kHeaderBytes - h.mapLength;
  uint64_t rowBytes = ((static_cast<uint64_t>(h.width) * h.depth + 15) / 16) * 2;
  uint64_t total = rowBytes * h.height;
  // A run of 3 bytes gives at most 256, so the data must hold at least total / 86 bytes.
  if (h.type == kTypeByteEncoded ? total > static_cast<uint64_t>(avail) * 86 : total > avail) return false;
  std::vector<uint8_t> unpacked;
  const uint8_t* src = body;
  if (h.type == kTypeByteEncoded) {
    unpacked.resize(static_cast<size_t>(total));
    if (!DecodeRle(body, avail, unpacked.data(), unpacked.size())) return false;
    src = unpacked.data();
  }
  bool rgb = h.type == kTypeRgb;
  int depth = h.depth == 32 ? 24 : static_cast<int>(h.depth);
  if (!decode::AllocatePixels(out, h.width, h.height, depth)) return false;
  if (depth <= 8) {
    size_t entries = h.mapType == 1 ? std::min<size_t>(h.mapLength / 3, 256) : 0;
    if (entries > 0) {
      out.palette.assign(256 * 3, 0);
      for (size_t i = 0; i < entries; ++i)
        for (int c = 0; c < 3; ++c) out.palette[i * 3 + c] = map[c * (h.mapLength / 3) + i];
    } else {
      out.palette = decode::GreyPalette(h.depth == 1 ? 2 : 256, h.depth == 1);  // 1-bit: 0 white, 1 black
    }
  }
  uint8_t* px = out.pixels->pixels;
  for (uint32_t y = 0; y < h.height; ++y) {
    const uint8_t* row = src + y * rowBytes;
    for (uint32_t x = 0; x < h.width; ++x) {
      size_t i = static_cast<size_t>(y) * h.width + x;
      switch (h.depth) {
        case 1: px[i] = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        case 8: px[i] = row[x]; break;
        case 24: {
          const uint8_t* p = row + x * 3;
          decode::PutArgb(px + i * 4, 255, rgb ? p[0] : p[2], p[1], rgb ? p[2] : p[0]);
          break;
        }
        default: {
          const uint8_t* p = row + x * 4;
          decode::PutArgb(px + i * 4, 255, rgb ? p[1] : p[3], p[2], rgb ? p[3] : p[1]);
          break;
        }
      }
    }
  }
  out.typeName = "Sun Raster";
  return true;
}

}  // namespace vl::formats
