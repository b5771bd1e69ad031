// The built-in JPEG reader, used for names ending in ".jpg".
#pragma once

#include "image/chunky.h"

namespace vl::formats {

// Reads a JPEG file as ARGB32 (viewing). Null when the file is not a JPEG it can read.
image::Texture* ReadJpeg(const char* path);
// Reads a JPEG file as RGB24 (thumbnails and the cache). Null on failure.
image::Texture* ReadJpegForCache(const char* path);

}  // namespace vl::formats
