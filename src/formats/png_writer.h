// PNG writing through libpng: 8 bits per channel, no interlacing, colour type RGBA for an
// ARGB32 image saved with alpha, RGB otherwise.
#pragma once

#include "formats/picture_metadata.h"
#include "image/chunky.h"

namespace vl::formats {

// Saves an RGB24 or ARGB32 image. withAlpha keeps the alpha channel of an ARGB32 image;
// an RGB24 image is always written as RGB. The old file at path is replaced only when
// the whole file was written. Times the save on the save stopwatch. 1 on success, 0 on
// failure (other pixel formats and empty images included). An RGB ICC profile of the metadata
// goes into an iCCP chunk named "ICC Profile"; a profile the library finds unfit is left out.
// The EXIF block is not written.
int SavePNG(const image::ChunkyImage* image, const char* path, bool withAlpha, const SaveMetadata& metadata = {});
// The same for a picture, with the ICC profile it carries.
int SavePNG(const image::Texture* image, const char* path, bool withAlpha);

}  // namespace vl::formats
