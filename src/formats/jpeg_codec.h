// The JPEG codec beyond the plain readers of jpeg.h: the embedded EXIF thumbnail, the writer,
// sampling factors. Every call makes its own codec context: calls on different threads may run
// at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>

#include "formats/picture_metadata.h"
#include "image/chunky.h"

namespace vl::formats {

// Every 8x8 block of a JPEG costs at least a bit, so no JPEG gives more than 512 pixels per
// byte; files claiming more than this bound are refused before decoding, which leaves a wide
// margin for real ones.
inline constexpr int64_t kJpegMaxPixelsPerByte = 4096;

// One channel of a four-component JPEG. Files with an Adobe marker (Photoshop, ImageMagick)
// store the inks inverted, so C, M, Y and K are already 255 - ink; others store them plain.
// The colour is the inverted ink scaled by the inverted key, rounded: R = C x K / 255.
inline uint8_t CmykChannel(unsigned ink, unsigned key, bool inverted) {
  if (!inverted) ink = 255 - ink, key = 255 - key;
  return static_cast<uint8_t>((ink * key + 127) / 255);
}

// Decodes a JPEG held in memory as RGB24 (the caller keeps the bytes). Null on failure.
image::Texture* ReadJpegMemoryForCache(const uint8_t* data, size_t size);

// The JPEG thumbnail embedded in the file's EXIF block, as RGB24, carrying the file's ICC
// profile; null without one.
image::Texture* ReadExifThumbnail(const char* path);

// Saves image as a baseline JPEG (quality 0-100, optimised Huffman coding, no chroma
// subsampling). 1 on success, 0 on failure; a failed save leaves an existing file as it was.
// The metadata's EXIF block goes into an APP1 section after the JFIF header (with its
// orientation made 1 when the pixels were turned upright on load; left out when it is too large
// for one section or broken) and an RGB ICC profile into APP2 sections.
int SaveJPEG(const image::ChunkyImage* image, const char* path, int quality, bool optimize, bool noSubsampling,
             const SaveMetadata& metadata = {});

// Sets per-component sampling factors from a comma-separated list of HxV pairs ("2x1,1x1");
// components after the list get 1x1. 1 on success, 0 on a malformed list or a factor outside
// 1..4 (the latter with "JPEG sampling factors must be 1..4\n" on standard error).
int SetSampleFactors(jpeg_compress_struct* compressor, const char* text);

}  // namespace vl::formats
