// Thumbnail composition for the icon maker: a resampled picture, optionally blended into
// a copy of a frame image.
#pragma once

#include "image/chunky.h"

namespace vl::thumbs {

// Blends src into frame with its top-left corner at (x, y), clipped to the frame on
// every side: R = Rf + (((Rs - Rf) * As) >> 8) (likewise G and B), A = (As * Af) >> 8,
// with arithmetic shifts.
void BlendIntoFrame(image::ChunkyImage* frame, const image::ChunkyImage* src, int x, int y);

}  // namespace vl::thumbs
