// The picture area of one thumbnail cell: its own copy of the picture, as RGB24 or, to
// save memory, packed into luma/chroma pairs (two bytes a pixel), and the drawing rules.
#pragma once

#include <cstdint>

#include "image/chunky.h"

namespace vl::browser {

// A selected cell's channel: min(255, 5c/4 + 40).
inline uint8_t BrightenChannel(uint8_t c) {
  int v = (5 * c) / 4 + 40;
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}
// Brightens a row of pixels in place; with 4 bytes a pixel (A, R, G, B) the alpha byte
// is left alone.
void BrightenRow(uint8_t* row, int pixels, int bytesPerPixel);

// Where a picture lies in its area along one axis: centred when smaller, else from 0.
inline int CentreOffset(int area, int picture) {
  return picture < area ? (area - picture) / 2 : 0;
}

class ThumbnailPicture {
 public:
  ThumbnailPicture(int width, int height, bool saveMemory) : width_(width), height_(height), saveMemory_(saveMemory) {}

  int width() const { return width_; }
  int height() const { return height_; }
  bool saveMemory() const { return saveMemory_; }

  // Replaces the picture with a copy of picture (RGB24, ARGB32 or RGBA32; the alpha is
  // dropped); null clears it. False (and the area empty) when it cannot be copied.
  // Pictures of odd width are kept as RGB24 even when saving memory, since the packing
  // works on pixel pairs.
  bool SetPicture(const image::ChunkyImage* picture);
  bool HasPicture() const { return picture_ != nullptr; }
  bool Packed() const { return packed_; }
  int PictureWidth() const { return picture_ ? picture_->width : 0; }
  int PictureHeight() const { return picture_ ? picture_->height : 0; }
  // The picture as RGB24 (unpacked when packed); null when there is none.
  image::ChunkyPtr CopyRGB() const;

  // Draws into an RGB24 buffer of width() x height() pixels; pixels outside the picture
  // are left as they are. A selected cell is drawn brightened.
  void Draw(uint8_t* area, bool selected) const;

 private:
  int width_;
  int height_;
  bool saveMemory_;
  bool packed_ = false;
  image::ChunkyPtr picture_;
};

}  // namespace vl::browser
