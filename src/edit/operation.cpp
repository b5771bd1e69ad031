#include "edit/operation.h"

#include <cstring>

namespace vl::edit {

image::ChunkyImage* CurrentChunky(app::Controller& c) {
  image::Texture* t = c.currentImage();
  return t ? t->chunky : nullptr;
}

bool CopyPixels(const image::ChunkyImage& src, image::ChunkyImage& dst) {
  if (!src.pixels || !dst.pixels || src.width != dst.width || src.height != dst.height || src.format != dst.format)
    return false;
  if (&src != &dst) std::memcpy(dst.pixels, src.pixels, image::BufferBytes(src.width, src.height, src.format));
  return true;
}

}  // namespace vl::edit
