// The built-in reader for uncompressed true-colour Sun Raster files (24 and 32 bits).
// Colour-mapped, run-length encoded and padded files are refused here; the system
// decoder's Sun Raster decoder reads them.
#pragma once

#include "image/chunky.h"

namespace vl::formats {

// ARGB32 Texture or null.
image::Texture* ReadSunRaster(const char* path);
// RGB24 Texture or null.
image::Texture* ReadSunRasterForScan(const char* path);

}  // namespace vl::formats
