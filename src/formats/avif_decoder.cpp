// AVIF through libavif: the first picture of the file (the first frame of a sequence),
// converted to 8-bit ARGB by libavif (higher bit depths rounded down), alpha kept, the ICC
// profile when there is one. libavif leaves the file's rotation and mirroring ('irot',
// 'imir') to its caller; they are applied here so the picture shows upright.
#include <avif/avif.h>

#include <algorithm>
#include <memory>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

struct DecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

}  // namespace

bool SniffAvif(const uint8_t* data, size_t size) {
  return decode::ClassifyBmff(data, size) == decode::BmffKind::kAvif;
}

bool DecodeAvif(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffAvif(data, size)) return false;
  std::unique_ptr<avifDecoder, DecoderDeleter> dec(avifDecoderCreate());
  if (!dec) return false;
  dec->imageSizeLimit = static_cast<uint32_t>(std::min<int64_t>(image::kMaxPixels, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
  dec->imageDimensionLimit = AVIF_DEFAULT_IMAGE_DIMENSION_LIMIT;
  dec->ignoreExif = AVIF_TRUE;
  dec->ignoreXMP = AVIF_TRUE;
  if (avifDecoderSetIOMemory(dec.get(), data, size) != AVIF_RESULT_OK) return false;
  if (avifDecoderParse(dec.get()) != AVIF_RESULT_OK) return false;
  const avifImage* img = dec->image;
  // The size the file claims, checked before any pixel is decoded.
  if (!img || !image::SizeAllowed(img->width, img->height, image::ARGB32)) return false;
  if (avifDecoderNextImage(dec.get()) != AVIF_RESULT_OK) return false;
  img = dec->image;
  if (!image::SizeAllowed(img->width, img->height, image::ARGB32)) return false;
  const bool alpha = dec->alphaPresent && img->alphaPlane;
  if (!decode::AllocatePixels(out, img->width, img->height, alpha ? 32 : 24)) return false;

  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, img);
  rgb.format = AVIF_RGB_FORMAT_ARGB;
  rgb.depth = 8;
  rgb.alphaPremultiplied = AVIF_FALSE;
  rgb.pixels = out.pixels->pixels;
  rgb.rowBytes = img->width * 4;
  if (avifImageYUVToRGB(img, &rgb) != AVIF_RESULT_OK) {
    out = DecodedPicture();
    return false;
  }
  int angle = (img->transformFlags & AVIF_TRANSFORM_IROT) ? img->irot.angle & 3 : 0;
  int mirror = (img->transformFlags & AVIF_TRANSFORM_IMIR) ? img->imir.mode & 1 : -1;
  if (!decode::RotateMirror(out, angle, mirror)) {
    out = DecodedPicture();
    return false;
  }
  out.hasAlpha = alpha;
  if (img->icc.data && img->icc.size > 0) out.iccProfile.assign(img->icc.data, img->icc.data + img->icc.size);
  out.typeName = "AVIF";
  return true;
}

}  // namespace vl::formats
