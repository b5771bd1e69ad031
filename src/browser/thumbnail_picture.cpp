#include "browser/thumbnail_picture.h"

#include <cstring>
#include <vector>

namespace vl::browser {

void BrightenRow(uint8_t* row, int pixels, int bytesPerPixel) {
  for (int i = 0; i < pixels; ++i) {
    uint8_t* p = row + static_cast<size_t>(i) * bytesPerPixel;
    for (int c = bytesPerPixel == 4 ? 1 : 0; c < bytesPerPixel; ++c) p[c] = BrightenChannel(p[c]);
  }
}

bool ThumbnailPicture::SetPicture(const image::ChunkyImage* picture) {
  picture_.reset();
  packed_ = false;
  if (!picture || !picture->pixels) return picture == nullptr;
  const int w = picture->width, h = picture->height;
  if (!image::SizeAllowed(w, h, image::RGB24)) return false;
  image::ChunkyPtr rgb(image::chk_Create(w, h, image::RGB24, false));
  if (!rgb) return false;
  switch (picture->format) {
    case image::RGB24: std::memcpy(rgb->pixels, picture->pixels, image::BufferBytes(w, h, image::RGB24)); break;
    case image::ARGB32: image::ConvertARGB32ToRGB24(picture->pixels, rgb->pixels, w, h); break;
    case image::RGBA32: image::ConvertRGBA32ToRGB24(picture->pixels, rgb->pixels, w, h); break;
    default: return false;
  }
  if (saveMemory_ && w % 2 == 0) {
    image::ChunkyPtr packed(image::chk_Create(w, h, image::WORD16, false));
    if (packed) {
      image::PackLumaChroma(rgb->pixels, packed->pixels, w, h);
      picture_ = std::move(packed);
      packed_ = true;
      return true;
    }
  }
  picture_ = std::move(rgb);
  return true;
}

image::ChunkyPtr ThumbnailPicture::CopyRGB() const {
  if (!picture_) return nullptr;
  image::ChunkyPtr out(image::chk_Create(picture_->width, picture_->height, image::RGB24, false));
  if (!out) return nullptr;
  if (packed_) {
    image::UnpackLumaChroma(picture_->pixels, out->pixels, picture_->width, picture_->height);
  } else {
    std::memcpy(out->pixels, picture_->pixels, image::BufferBytes(picture_->width, picture_->height, image::RGB24));
  }
  return out;
}

void ThumbnailPicture::Draw(uint8_t* area, bool selected) const {
  if (!picture_ || !area || width_ <= 0 || height_ <= 0) return;
  const int pw = picture_->width, ph = picture_->height;
  const int ox = CentreOffset(width_, pw), oy = CentreOffset(height_, ph);
  const int dw = pw < width_ ? pw : width_, dh = ph < height_ ? ph : height_;
  const size_t areaStride = static_cast<size_t>(width_) * 3;
  if (!packed_ && !selected) {
    for (int y = 0; y < dh; ++y)
      std::memcpy(area + (oy + y) * areaStride + static_cast<size_t>(ox) * 3,
                  picture_->pixels + static_cast<size_t>(y) * pw * 3, static_cast<size_t>(dw) * 3);
    return;
  }
  // Row by row through a row buffer: unpack, brighten, copy the drawn part.
  std::vector<uint8_t> row(static_cast<size_t>(pw) * 3);
  for (int y = 0; y < dh; ++y) {
    if (packed_) {
      image::UnpackLumaChroma(picture_->pixels + static_cast<size_t>(y) * pw * 2, row.data(), pw, 1);
    } else {
      std::memcpy(row.data(), picture_->pixels + static_cast<size_t>(y) * pw * 3, static_cast<size_t>(pw) * 3);
    }
    if (selected) BrightenRow(row.data(), dw, 3);
    std::memcpy(area + (oy + y) * areaStride + static_cast<size_t>(ox) * 3, row.data(), static_cast<size_t>(dw) * 3);
  }
}

}  // namespace vl::browser
