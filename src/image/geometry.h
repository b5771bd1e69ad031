// Operations that move pixels: quarter turns, mirroring, cropping (also finding the crop
// rectangle from a tolerance) and straightening by a small angle.
#pragma once

#include <cstdint>

#include "image/chunky.h"

namespace vl::image {

// What the menu and scripting callers print when a rotation returns null.
inline constexpr const char kRotationFailedMessage[] = "Not enough memory to perform rotation\n";
// Prints kRotationFailedMessage on standard output.
void ReportRotationFailure();

// A new image with width and height exchanged: source (x, y) lands at (height - 1 - y, x),
// so the top-left corner goes to the top-right. Null for formats of other than 1 or 4 bytes
// per pixel, or when memory runs out.
ChunkyImage* RotateClockwise(const ChunkyImage* image);
// Source (x, y) lands at (y, width - 1 - x): the top-left corner goes to the bottom-left.
ChunkyImage* RotateCounterClockwise(const ChunkyImage* image);

// In place: pixel x of every row is swapped with pixel width - 1 - x (row y with row
// height - 1 - y). Pixels of any size are moved whole; an unknown format is left alone.
void FlipHorizontal(ChunkyImage* image);
void FlipVertical(ChunkyImage* image);

// A new Texture of width x height in the source's format whose pixel (i, j) is source pixel
// (x + i, y + j). Null for a null texture, a rectangle that is empty or not inside the
// image, a format other than ARGB32 that GetPixel/SetPixel cannot carry, or no memory.
Texture* CropRegion(const Texture* texture, int32_t x, int32_t y, int32_t width, int32_t height);

struct CropRect {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
};
// The rectangle inside the border whose pixels match pixel (0, 0): a pixel matches when
// the sum of its squared channel differences is at most tolerance squared. An image without
// such a border gives the whole image; a uniform one the 1 x 1 rectangle at its last pixel.
CropRect FindCropBorders(const ChunkyImage* image, int tolerance);

// Renders source rotated by angleDegrees into destination (both ARGB32 of the same size,
// distinct buffers; anything else leaves the destination alone). Without scaleToFit, pixels
// whose source position falls outside the image become 0; with it the picture is shrunk so
// that no empty corners show.
void Straighten(const ChunkyImage* source, ChunkyImage* destination, float angleDegrees, bool scaleToFit);

}  // namespace vl::image
