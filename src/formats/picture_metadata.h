// What a picture keeps from its file besides the pixels, and how the savers write it back:
// the EXIF block of a JPEG (the payload of its APP1 "Exif" section) and the ICC profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/chunky.h"

namespace vl::formats {

// The largest APP1 payload a JPEG marker holds (65535 less the two length bytes).
inline constexpr size_t kMaxExifBlock = 65533;
// The longest ICC profile the JPEG writer splits into APP2 chunks (255 chunks of 65519 bytes).
inline constexpr size_t kMaxJpegIccProfile = 255u * 65519u;

// The metadata a saver writes beside the pixels; null members are not written.
struct SaveMetadata {
  const std::vector<uint8_t>* iccProfile = nullptr;
  const std::vector<uint8_t>* exifBlock = nullptr;  // "Exif\0\0" and the TIFF structure
  bool exifOrientationApplied = false;              // the pixels were turned upright on load
};

// The metadata a picture carries (nothing for null).
SaveMetadata MetadataOf(const image::Texture* picture);

// The payload of a JPEG's first APP1 section that begins with "Exif\0\0", looked for among the
// sections before the first scan; empty when there is none or the file's sections are broken.
std::vector<uint8_t> FindJpegExifBlock(const uint8_t* data, size_t size);

// Sets the picture's exifBlock from a JPEG held in memory (left null without one).
void AttachJpegExif(image::Texture* picture, const uint8_t* data, size_t size);

// The EXIF block as a saved file gets it: a copy of block in which, when orientationApplied,
// every Orientation tag of the main directories reads 1 and the link to the embedded thumbnail
// (drawn the old way round) is cut. Empty (nothing to write) when the block is larger than one
// APP1 section holds, or when its TIFF structure is broken.
std::vector<uint8_t> ExifBlockForSave(const std::vector<uint8_t>& block, bool orientationApplied);

// True when profile looks like an ICC profile for RGB data (its header's size, signature and
// colour space): only such a profile may go with the RGB pixels the savers write.
bool IsRgbIccProfile(const std::vector<uint8_t>& profile);

}  // namespace vl::formats
