#include "formats/decoders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "formats/file_read.h"
#include "formats/icc_profile.h"
#include "formats/loader.h"
#include "platform/messages.h"

namespace vl::formats {

const std::vector<Decoder>& DecoderTable() {
  static const std::vector<Decoder> table = {
      {"PNG", SniffPng, DecodePng, "image/png"},
      {"JPEG", SniffJpeg, DecodeJpeg, "image/jpeg"},
      {"GIF", SniffGif, DecodeGif, "image/gif"},
      // Before TIFF: many RAW files are TIFF files.
      {"RAW", SniffRaw, DecodeRaw,
       "image/x-adobe-dng;image/x-canon-cr2;image/x-canon-cr3;image/x-nikon-nef;image/x-sony-arw;"
       "image/x-fuji-raf;image/x-olympus-orf;image/x-panasonic-rw2;image/x-pentax-pef"},
      {"TIFF", SniffTiff, DecodeTiff, "image/tiff"},
      {"WebP", SniffWebp, DecodeWebp, "image/webp"},
      {"HEIF", SniffHeif, DecodeHeif, "image/heif;image/heic"},
      {"AVIF", SniffAvif, DecodeAvif, "image/avif"},
      {"JPEG XL", SniffJxl, DecodeJxl, "image/jxl"},
      {"BMP", SniffBmp, DecodeBmp, "image/bmp"},
      {"ILBM", SniffIlbm, DecodeIlbm, "image/x-ilbm"},
      {"Sun Raster", SniffSunRaster, DecodeSunRaster, "image/x-sun-raster"},
      {"PNM", SniffPnm, DecodePnm,
       "image/x-portable-anymap;image/x-portable-bitmap;image/x-portable-graymap;image/x-portable-pixmap"},
  };
  return table;
}

std::vector<std::string> DecoderMimeTypes() {
  std::vector<std::string> out;
  for (const Decoder& d : DecoderTable()) {
    std::string_view list = d.mimeTypes ? d.mimeTypes : "";
    while (!list.empty()) {
      size_t end = list.find(';');
      std::string type(list.substr(0, end));
      list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
      if (!type.empty() && std::find(out.begin(), out.end(), type) == out.end()) out.push_back(std::move(type));
    }
  }
  return out;
}

const Decoder* FindDecoder(const uint8_t* data, size_t size) {
  if (!data || size == 0) return nullptr;
  for (const Decoder& d : DecoderTable())
    if (d.sniff(data, std::min(size, kSniffBytes))) return &d;
  return nullptr;
}

bool DecodeMemory(const uint8_t* data, size_t size, DecodedPicture& out) {
  out = DecodedPicture();
  const Decoder* d = FindDecoder(data, size);
  if (!d) return false;
  if (!d->decode(data, size, out)) {
    out = DecodedPicture();
    return false;
  }
  return true;
}

namespace {
image::Texture* WithProfile(image::Texture* t, DecodedPicture& pic, bool forScan) {
  if (t && !pic.iccProfile.empty() && ProfileFitsRgbPixels(pic.iccProfile))
    t->iccProfile = std::make_shared<const std::vector<uint8_t>>(std::move(pic.iccProfile));
  // A thumbnail is never saved with its metadata.
  if (t && !forScan && !pic.exifBlock.empty())
    t->exifBlock = std::make_shared<const std::vector<uint8_t>>(std::move(pic.exifBlock));
  return t;
}
image::Texture* PixelsToTexture(DecodedPicture& pic, bool forScan);
}  // namespace

image::Texture* PictureToTexture(DecodedPicture& pic, bool forScan) {
  image::Texture* t = WithProfile(PixelsToTexture(pic, forScan), pic, forScan);
  if (t) t->preview = pic.preview;
  return t;
}

namespace {
image::Texture* PixelsToTexture(DecodedPicture& pic, bool forScan) {
  image::ChunkyImage* src = pic.pixels.get();
  if (!src || src->width != pic.width || src->height != pic.height) return nullptr;
  int32_t w = pic.width, h = pic.height;
  size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (pic.depth <= 8) {
    if (src->format != image::BYTE8) return nullptr;
    pic.palette.resize(256 * 3, 0);
    image::TexturePtr t(image::CreateTexture(w, h, forScan ? image::RGB24 : image::ARGB32));
    if (!t) return nullptr;
    const uint8_t* in = src->pixels;
    uint8_t* out = t->chunky->pixels;
    const uint8_t* pal = pic.palette.data();
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* c = pal + in[i] * 3;
      if (forScan) {
        std::memcpy(out + i * 3, c, 3);
      } else {
        decode::PutArgb(out + i * 4, 255, c[0], c[1], c[2]);
      }
    }
    return t.release();
  }
  if (src->format != image::ARGB32) return nullptr;
  if (forScan) {
    image::TexturePtr t(image::CreateTexture(w, h, image::RGB24));
    if (!t) return nullptr;
    image::ConvertARGB32ToRGB24(src->pixels, t->chunky->pixels, w, h);
    return t.release();
  }
  // Hand the decoded buffer over instead of copying it.
  image::TexturePtr t(image::CreateTexture(1, 1, image::ARGB32));
  if (!t) return nullptr;
  image::chk_Free(t->chunky);
  t->chunky = pic.pixels.release();
  if (pic.depth == 24 && !pic.hasAlpha) image::ConvertARGB32ToOpaque(t->chunky->pixels, t->chunky->pixels, w, h);
  return t.release();
}
}  // namespace

image::Texture* ReadDatatype(const char* path, bool forScan) {
  return ReadDatatype(path, forScan, forScan ? Detail::Preview : Detail::Full);
}

image::Texture* ReadDatatype(const char* path, bool forScan, Detail detail) {
  const char* source = path ? path : "CLIPS:0";
  // Only a file that some decoder claims is read whole.
  uint8_t head[kSniffBytes];
  size_t got = 0;
  if (!ReadFileStart(source, head, sizeof head, got) || !FindDecoder(head, got)) return nullptr;
  FileBytes data;
  if (!ReadWholeFile(source, data, static_cast<uint64_t>(image::kMaxBufferBytes))) return nullptr;
  const Decoder* d = FindDecoder(data.data(), data.size());
  if (!d) return nullptr;
  DecodedPicture pic;
  // The table's readers give a RAW's preview; the full picture has a reader of its own.
  auto decode = detail == Detail::Full && d->decode == DecodeRaw ? DecodeRawFull : d->decode;
  if (!decode(data.data(), data.size(), pic)) {
    platform::PrintMessage("[FILE]: Error in datatype\n");
    return nullptr;
  }
  FileBytes().swap(data);  // the file's bytes are no longer needed
  SetFormatName(pic.typeName.empty() ? std::string("Unknown") : pic.typeName);
  return PictureToTexture(pic, forScan);
}

namespace decode {

bool AllocatePixels(DecodedPicture& out, int64_t width, int64_t height, int depth) {
  uint32_t format = depth <= 8 ? image::BYTE8 : image::ARGB32;
  // The ARGB32 Texture made from an indexed picture must fit as well.
  if (!image::SizeAllowed(width, height, image::ARGB32)) return false;
  out.pixels.reset(image::chk_Create(static_cast<int32_t>(width), static_cast<int32_t>(height), format, depth <= 8));
  if (!out.pixels) {
    if (depth <= 8) platform::PrintMessage("[FILE]: Can't allocate temporary bitmap\n");
    return false;
  }
  out.width = static_cast<int32_t>(width);
  out.height = static_cast<int32_t>(height);
  out.depth = depth;
  return true;
}

bool Plausible(int64_t width, int64_t height, size_t dataSize, int64_t pixelsPerByte) {
  if (width <= 0 || height <= 0 || width > image::kMaxPixels || height > image::kMaxPixels) return false;
  return width * height <= static_cast<int64_t>(dataSize) * pixelsPerByte;
}

std::vector<uint8_t> GreyPalette(int count, bool inverted) {
  std::vector<uint8_t> pal(256 * 3, 0);
  if (count < 2) count = 2;
  if (count > 256) count = 256;
  for (int i = 0; i < count; ++i) {
    int v = (i * 255 + (count - 1) / 2) / (count - 1);
    if (inverted) v = 255 - v;
    pal[i * 3] = pal[i * 3 + 1] = pal[i * 3 + 2] = static_cast<uint8_t>(v);
  }
  return pal;
}

}  // namespace decode

}  // namespace vl::formats
