// The brands of an ISO base media file's 'ftyp' box, which tell HEIF and AVIF pictures
// apart (both are ISO base media files; only the brands name the codec).
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "formats/decoders.h"

namespace vl::formats::decode {
namespace {

bool IsOneOf(const uint8_t* brand, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (std::memcmp(brand, n, 4) == 0) return true;
  return false;
}

bool IsHevcBrand(const uint8_t* b) {
  return IsOneOf(b, {"heic", "heix", "hevc", "hevx", "heim", "heis"});
}
bool IsAvifBrand(const uint8_t* b) {
  return IsOneOf(b, {"avif", "avis"});
}
bool IsGenericImageBrand(const uint8_t* b) {
  return IsOneOf(b, {"mif1", "msf1"});
}

}  // namespace

BmffKind ClassifyBmff(const uint8_t* data, size_t size) {
  if (!data || size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return BmffKind::kNone;
  uint32_t boxSize = Be32(data);
  // size, type, major brand, minor version, then whole compatible brands.
  if (boxSize < 16 || boxSize % 4 != 0) return BmffKind::kNone;
  const uint8_t* major = data + 8;
  if (IsAvifBrand(major)) return BmffKind::kAvif;
  if (IsHevcBrand(major)) return BmffKind::kHeif;
  // A generic major brand (or another one) leaves the codec to the compatible brands;
  // only those within the bytes at hand are looked at.
  size_t end = std::min<size_t>(boxSize, size);
  bool hevc = false, avif = false, generic = IsGenericImageBrand(major);
  for (size_t at = 16; at + 4 <= end; at += 4) {
    hevc = hevc || IsHevcBrand(data + at);
    avif = avif || IsAvifBrand(data + at);
    generic = generic || IsGenericImageBrand(data + at);
  }
  if (avif) return BmffKind::kAvif;
  if (hevc || generic) return BmffKind::kHeif;
  return BmffKind::kNone;
}

bool RotateMirror(DecodedPicture& pic, int angle, int mirror) {
  angle &= 3;
  if (angle == 0 && mirror < 0) return true;
  const image::ChunkyImage* src = pic.pixels.get();
  if (!src || src->format != image::ARGB32) return false;
  const int32_t w = src->width, h = src->height;
  const int32_t ow = angle % 2 ? h : w, oh = angle % 2 ? w : h;
  image::ChunkyPtr dst(image::chk_CreateForOverwrite(ow, oh, image::ARGB32));
  if (!dst) return false;
  const auto* in = reinterpret_cast<const uint32_t*>(src->pixels);
  auto* out = reinterpret_cast<uint32_t*>(dst->pixels);
  for (int32_t y = 0; y < oh; ++y) {
    for (int32_t x = 0; x < ow; ++x) {
      // The mirror comes last, so undo it first to find the rotated position.
      int32_t rx = mirror == 1 ? ow - 1 - x : x;
      int32_t ry = mirror == 0 ? oh - 1 - y : y;
      // Rotated anticlockwise: rotated (rx, ry) comes from source (sx, sy).
      int32_t sx = rx, sy = ry;
      switch (angle) {
        case 1: sx = w - 1 - ry, sy = rx; break;
        case 2: sx = w - 1 - rx, sy = h - 1 - ry; break;
        case 3: sx = ry, sy = h - 1 - rx; break;
        default: break;
      }
      out[static_cast<size_t>(y) * ow + x] = in[static_cast<size_t>(sy) * w + sx];
    }
  }
  pic.pixels = std::move(dst);
  pic.width = ow;
  pic.height = oh;
  return true;
}

}  // namespace vl::formats::decode
