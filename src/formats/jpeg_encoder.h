// The JPEG writer's coding step: a picture's rows in, a baseline JPEG out through a stdio file.
//
// Big pictures are coded on several threads with the same bytes as on one: the colour
// conversion, DCT and quantisation of horizontal bands run on pool threads, each band on its
// own codec context, and the calling thread writes the file (Huffman coding) from their
// coefficients as the bands arrive, in order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>

#include "image/chunky.h"

namespace vl::formats {

struct JpegSettings {
  int quality = 75;            // 0-100, as jpeg_set_quality takes it (forced to baseline tables)
  bool optimize = false;       // optimised Huffman tables
  bool noSubsampling = false;  // 1x1 sampling for every component; 2x2 chroma otherwise
};

// The sections a saved file carries besides the picture, written after the JFIF header.
struct JpegSections {
  std::vector<uint8_t> exif;                  // empty: no APP1 section
  const std::vector<uint8_t>* icc = nullptr;  // null: no APP2 sections
};

// Pixels per band the threaded path aims at; pictures of fewer than two bands' worth are coded
// on the calling thread.
inline constexpr int64_t kJpegBandPixels = 256 * 1024;

// Whether image's pixel format can be written as a JPEG.
bool JpegSaveableFormat(uint32_t format);

// Codes image into out, with the sections after the file header (SOI and JFIF). bandPixels sets the band size of the
// threaded path (tests make it small to cut small pictures into many bands). False when the codec
// failed (a write error among others); what was written is then to be thrown away.
bool EncodeJpeg(const image::ChunkyImage* image, std::FILE* out, const JpegSettings& settings,
                const JpegSections& sections, int64_t bandPixels = kJpegBandPixels);

}  // namespace vl::formats
