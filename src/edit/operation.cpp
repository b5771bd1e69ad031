#include "edit/operation.h"

#include <cstring>
#include <utility>

namespace vl::edit {

image::ChunkyImage* CurrentChunky(app::Controller& c) {
  c.FinishFullPicture();  // operations work on the full picture, never on a quick stand-in
  image::Texture* t = c.currentImage();
  return t ? t->chunky : nullptr;
}

bool CopyPixels(const image::ChunkyImage& src, image::ChunkyImage& dst) {
  if (!src.pixels || !dst.pixels || src.width != dst.width || src.height != dst.height || src.format != dst.format)
    return false;
  if (&src != &dst) std::memcpy(dst.pixels, src.pixels, image::BufferBytes(src.width, src.height, src.format));
  return true;
}

bool SwapPixels(image::ChunkyImage& a, image::ChunkyImage& b) {
  if (!a.pixels || !b.pixels || a.width != b.width || a.height != b.height || a.format != b.format) return false;
  std::swap(a.pixels, b.pixels);
  return true;
}

}  // namespace vl::edit
