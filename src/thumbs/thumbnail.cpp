#include "thumbs/thumbnail.h"

#include <algorithm>
#include <cstdio>

#include "image/resample.h"

namespace vl::thumbs {

void BlendIntoFrame(image::ChunkyImage* frame, const image::ChunkyImage* src, int x, int y) {
  if (!frame || !src || !frame->pixels || !src->pixels) return;
  // Clip the source rectangle to the frame, the left and top edges included.
  int64_t sx0 = std::max<int64_t>(0, -int64_t{x});
  int64_t sy0 = std::max<int64_t>(0, -int64_t{y});
  int64_t sx1 = std::min<int64_t>(src->width, int64_t{frame->width} - x);
  int64_t sy1 = std::min<int64_t>(src->height, int64_t{frame->height} - y);
  if (sx0 >= sx1 || sy0 >= sy1) return;
  for (int sy = static_cast<int>(sy0); sy < sy1; ++sy) {
    for (int sx = static_cast<int>(sx0); sx < sx1; ++sx) {
      uint8_t as = 255, rs = 0, gs = 0, bs = 0;
      uint8_t af = 255, rf = 0, gf = 0, bf = 0;
      image::GetPixel(src, sx, sy, as, rs, gs, bs);
      image::GetPixel(frame, sx + x, sy + y, af, rf, gf, bf);
      int a = (as * af) >> 8;
      int r = rf + (((rs - rf) * as) >> 8);
      int g = gf + (((gs - gf) * as) >> 8);
      int b = bf + (((bs - bf) * as) >> 8);
      image::SetPixel(frame, sx + x, sy + y, static_cast<uint8_t>(a), static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                      static_cast<uint8_t>(b));
    }
  }
}

image::ChunkyImage* MakeThumbnail(image::ChunkyImage* source, const image::ChunkyImage* frame, int boxWidth,
                                  int boxHeight, int offsetX, int offsetY, bool freeSource, bool keepAspect) {
  if (!source) return nullptr;
  image::Size target{boxWidth, boxHeight};
  if (keepAspect && boxWidth > 0 && boxHeight > 0)
    target = image::FitSize(source->width, source->height, boxWidth, boxHeight);
  image::ChunkyImage* resampled = nullptr;
  if (target.width > 0 && target.height > 0)
    resampled = image::ScaleImage(source, target.width, target.height, image::kMethodLanczos);
  if (freeSource) image::chk_Free(source);
  if (!resampled) {
    std::puts("not enough memory to resize the image");
    return nullptr;
  }
  if (!frame) return resampled;
  image::ChunkyPtr framed(image::chk_Duplicate(frame));
  if (!framed) {
    std::puts("failed to allocated thumb");
    return resampled;
  }
  int x = (boxWidth - resampled->width) / 2 + offsetX;
  int y = (boxHeight - resampled->height) / 2 + offsetY;
  BlendIntoFrame(framed.get(), resampled, x, y);
  image::chk_Free(resampled);
  return framed.release();
}

}  // namespace vl::thumbs
