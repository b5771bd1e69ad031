// WebP through libwebp, still pictures with or without alpha. Animated files are refused.
#include <webp/decode.h>

#include <cstring>

#include "formats/decoders.h"
#include "formats/icc_profile.h"

namespace vl::formats {

bool SniffWebp(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

bool DecodeWebp(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffWebp(data, size)) return false;
  // A file shorter than its RIFF size is truncated.
  if (static_cast<uint64_t>(decode::Le32(data + 4)) + 8 > size) return false;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK || features.has_animation) return false;
  if (!image::SizeAllowed(features.width, features.height, image::ARGB32)) return false;
  if (!decode::AllocatePixels(out, features.width, features.height, features.has_alpha ? 32 : 24)) return false;
  size_t bytes = image::BufferBytes(features.width, features.height, image::ARGB32);
  int stride = features.width * 4;
  if (!WebPDecodeARGBInto(data, size, out.pixels->pixels, bytes, stride)) {
    out = DecodedPicture();
    return false;
  }
  out.hasAlpha = features.has_alpha != 0;
  out.iccProfile = ReadWebpIccProfile(data, size);
  out.typeName = "WebP";
  return true;
}

}  // namespace vl::formats
