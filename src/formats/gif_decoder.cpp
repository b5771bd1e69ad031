// GIF through giflib: the first frame, interlaced or not. A frame with a transparent
// index comes as ARGB32 with that index at alpha 0; others come as palette indices.
#include <gif_lib.h>

#include <cstring>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

// LZW with 12-bit codes gives far less than 4096 pixels per byte.
constexpr int64_t kLzwRatio = 4096;

struct MemReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* r = static_cast<MemReader*>(gif->UserData);
  if (length <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(length), r->size - r->pos);
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  GifFileType* gif;
  ~GifCloser() {
    if (gif) DGifCloseFile(gif, nullptr);
  }
};

// Reads records up to the first image; returns its transparent index (-1 for none).
bool SeekFirstImage(GifFileType* gif, int& transparent) {
  transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type != EXTENSION_RECORD_TYPE) return false;
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
    while (ext) {
      if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
    }
  }
}

}  // namespace

bool SniffGif(const uint8_t* data, size_t size) {
  return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

bool DecodeGif(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffGif(data, size)) return false;
  MemReader reader{data, size, 0};
  int error = 0;
  GifCloser file{DGifOpen(&reader, ReadFromMemory, &error)};
  GifFileType* gif = file.gif;
  if (!gif) return false;
  int transparent = -1;
  if (!SeekFirstImage(gif, transparent)) return false;
  const GifImageDesc& desc = gif->Image;
  int64_t w = desc.Width, h = desc.Height;
  if (!image::SizeAllowed(w, h, image::ARGB32) || !decode::Plausible(w, h, size, kLzwRatio)) return false;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  std::vector<uint8_t> palette;
  int bits = 8;
  if (map && map->Colors && map->ColorCount > 0) {
    palette.assign(256 * 3, 0);
    for (int i = 0; i < map->ColorCount && i < 256; ++i) {
      palette[i * 3] = map->Colors[i].Red;
      palette[i * 3 + 1] = map->Colors[i].Green;
      palette[i * 3 + 2] = map->Colors[i].Blue;
    }
    bits = std::max(1, std::min(8, map->BitsPerPixel));
  } else {
    palette = decode::GreyPalette(256);
  }
  // The indices are read first; a transparent frame is widened to ARGB32 afterwards.
  DecodedPicture indices;
  if (!decode::AllocatePixels(indices, w, h, bits)) return false;
  uint8_t* px = indices.pixels->pixels;
  if (desc.Interlace) {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int64_t y = kStart[pass]; y < h; y += kStep[pass])
        if (DGifGetLine(gif, px + y * w, static_cast<int>(w)) == GIF_ERROR) return false;
  } else {
    for (int64_t y = 0; y < h; ++y)
      if (DGifGetLine(gif, px + y * w, static_cast<int>(w)) == GIF_ERROR) return false;
  }
  if (transparent < 0) {
    out = std::move(indices);
    out.palette = std::move(palette);
  } else {
    if (!decode::AllocatePixels(out, w, h, 32)) return false;
    uint8_t* argb = out.pixels->pixels;
    for (int64_t i = 0; i < w * h; ++i) {
      const uint8_t* c = palette.data() + px[i] * 3;
      decode::PutArgb(argb + i * 4, px[i] == transparent ? 0 : 255, c[0], c[1], c[2]);
    }
    out.hasAlpha = true;
  }
  out.typeName = "GIF";
  return true;
}

}  // namespace vl::formats
