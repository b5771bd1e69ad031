// Box blur: the average of a rectangle of neighbours.
//
// True when the filter ran; false means it did nothing (null or mismatched images, a
// format it does not handle, or no memory for a work buffer).
#pragma once

#include "image/chunky.h"

namespace vl::filters {

// Box blur over [x - radiusX, x + radiusX] x [y - radiusY, y + radiusY], clipped to the
// image (pixels outside are not counted). The radii are limited to width - 1 and
// height - 1; negative radii count as 0. Handles 4-byte pixels (all four bytes averaged)
// and 1-byte pixels. destination may be source; otherwise it must have the source's size
// and format. On a failed work allocation prints "[Blur]: Failed to allocate temp memory
// buffer" and leaves the destination unchanged.
bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY);

}  // namespace vl::filters
