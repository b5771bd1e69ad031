// Reading the ICC profile a picture file embeds. Every reader here gives an empty vector when
// the file has no profile, when its pieces do not fit together, or when it is larger than
// image::kMaxIccProfileBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct jpeg_decompress_struct;

namespace vl::formats {

// One APP2 marker's payload, as the JPEG codec kept it.
struct JpegMarkerData {
  const uint8_t* data;
  size_t size;
};

// Joins "ICC_PROFILE\0" APP2 payloads (sequence number and count after the tag) in sequence
// order. Other APP2 payloads are skipped. Chunks missing, repeated, numbered 0 or beyond the
// count, or disagreeing on the count give no profile.
std::vector<uint8_t> AssembleJpegIccProfile(const std::vector<JpegMarkerData>& app2);

// True when the profile can describe the pixels a decoder delivers (always R, G, B): its data
// colour space is RGB or grey. A CMYK picture is turned into RGB numbers by its reader, so its
// CMYK profile no longer describes them and must neither be shown through nor saved with them.
bool ProfileFitsRgbPixels(const std::vector<uint8_t>& profile);

// Asks the codec to keep the APP2 markers; call before jpeg_read_header.
void KeepJpegIccMarkers(jpeg_decompress_struct* cinfo);
// The profile of the APP2 markers the codec kept while reading the header; empty when it does
// not fit the RGB pixels the decode delivers.
std::vector<uint8_t> JpegIccProfile(const jpeg_decompress_struct* cinfo);

// The ICCP chunk of a WebP file in memory.
std::vector<uint8_t> ReadWebpIccProfile(const uint8_t* data, size_t size);

}  // namespace vl::formats
