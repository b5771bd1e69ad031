// Thumbnail composition for the icon maker: a resampled picture, optionally blended into
// a copy of a frame image.
#pragma once

#include "image/chunky.h"

namespace vl::thumbs {

// Blends src into frame with its top-left corner at (x, y), clipped to the frame on
// every side: R = Rf + (((Rs - Rf) * As) >> 8) (likewise G and B), A = (As * Af) >> 8,
// with arithmetic shifts.
void BlendIntoFrame(image::ChunkyImage* frame, const image::ChunkyImage* src, int x, int y);

// Resamples source (Lanczos) to the box, or with keepAspect to the largest size of its
// aspect inside the box; frees source when freeSource is set. Without a frame the
// resampled image is returned; with one, a copy of the frame with the picture blended in,
// centred in the box and moved by the offsets. Null when resampling fails.
image::ChunkyImage* MakeThumbnail(image::ChunkyImage* source, const image::ChunkyImage* frame, int boxWidth,
                                  int boxHeight, int offsetX, int offsetY, bool freeSource, bool keepAspect);

}  // namespace vl::thumbs
