// PNG through libpng: palette, grey, grey+alpha, RGB(A), 16-bit channels scaled to 8,
// tRNS transparency, interlacing. Palette pictures without transparency come as indices.
#include "formats/png_decoder.h"

#include <png.h>

#include <cstring>
#include <string>
#include <utility>

#include "formats/decoders.h"
#include "image/colour_management.h"

namespace vl::formats {
namespace {

// Deflate cannot expand more than 1032 to 1.
constexpr int64_t kDeflateRatio = 1100;

struct MemReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (length > r->size - r->pos) png_error(png, "read past end");
  std::memcpy(out, r->data + r->pos, length);
  r->pos += length;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// The iCCP chunk, which libpng has inflated (within the chunk allocation limit) and checked.
void ReadIccp(png_structp png, png_infop info, DecodedPicture& out) {
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length) == 0 || !profile) return;
  if (length == 0 || length > image::kMaxIccProfileBytes) return;
  out.iccProfile.assign(profile, profile + length);
}

// Everything that must survive a longjmp lives in the caller's objects.
bool ReadPng(png_structp png, png_infop info, MemReader& reader, DecodedPicture& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_set_user_limits(png, 1u << 20, 1u << 20);
  png_set_chunk_malloc_max(png, 8u << 20);
  png_read_info(png, info);
  ReadIccp(png, info, out);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  int bitDepth = png_get_bit_depth(png, info);
  int colorType = png_get_color_type(png, info);
  int channels = png_get_channels(png, info);
  uint64_t rawBytes = (static_cast<uint64_t>(w) * channels * bitDepth + 7) / 8 * h + h;
  if (!image::SizeAllowed(w, h, image::ARGB32) || rawBytes > static_cast<uint64_t>(reader.size) * kDeflateRatio)
    return false;
  bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  bool indexed = colorType == PNG_COLOR_TYPE_PALETTE && !hasTrns;
  int passes = png_set_interlace_handling(png);
  if (indexed) {
    png_colorp plte = nullptr;
    int count = 0;
    if (!png_get_PLTE(png, info, &plte, &count) || !plte) return false;
    out.palette.assign(256 * 3, 0);
    for (int i = 0; i < count && i < 256; ++i) {
      out.palette[i * 3] = plte[i].red;
      out.palette[i * 3 + 1] = plte[i].green;
      out.palette[i * 3 + 2] = plte[i].blue;
    }
    png_set_packing(png);
    png_read_update_info(png, info);
    if (!decode::AllocatePixels(out, w, h, bitDepth)) return false;
    for (int pass = 0; pass < passes; ++pass)
      for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out.pixels->pixels + static_cast<size_t>(y) * w, nullptr);
  } else {
    bool alpha = hasTrns || (colorType & PNG_COLOR_MASK_ALPHA);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    if (alpha)
      png_set_swap_alpha(png);  // RGBA -> ARGB
    else
      png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(w) * 4) return false;
    if (!decode::AllocatePixels(out, w, h, alpha ? 32 : 24)) return false;
    out.hasAlpha = alpha;
    for (int pass = 0; pass < passes; ++pass)
      for (png_uint_32 y = 0; y < h; ++y)
        png_read_row(png, out.pixels->pixels + static_cast<size_t>(y) * w * 4, nullptr);
  }
  png_read_end(png, nullptr);
  out.typeName = "PNG";
  return true;
}

// Every chunk up to the first IDAT lies inside the buffer.
bool ChunksInside(const uint8_t* data, size_t size) {
  size_t pos = 8;
  while (true) {
    if (size - pos < 8) return false;
    const uint8_t* c = data + pos;
    uint64_t length = uint64_t{c[0]} << 24 | uint64_t{c[1]} << 16 | uint64_t{c[2]} << 8 | c[3];
    if (std::memcmp(c + 4, "IDAT", 4) == 0) return true;
    if (length + 12 > size - pos) return false;
    pos += static_cast<size_t>(length) + 12;
  }
}

bool ReadHead(png_structp png, png_infop info, MemReader& reader, size_t maxChunkBytes, PngHead& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_chunk_malloc_max(png, maxChunkBytes);
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  out.width = png_get_image_width(png, info);
  out.height = png_get_image_height(png, info);
  png_textp text = nullptr;
  int n = 0;
  png_get_text(png, info, &text, &n);
  for (int i = 0; i < n; ++i) out.texts.push_back({text[i].key, std::string(text[i].text, text[i].text_length)});
  return true;
}

}  // namespace

bool ReadPngHead(const uint8_t* data, size_t size, size_t maxChunkBytes, PngHead& out) {
  if (!SniffPng(data, size) || !ChunksInside(data, size)) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  MemReader reader{data, size, 0};
  PngHead head;
  bool ok = ReadHead(png, info, reader, maxChunkBytes, head);
  png_destroy_read_struct(&png, &info, nullptr);
  if (ok) out = std::move(head);
  return ok;
}

bool SniffPng(const uint8_t* data, size_t size) {
  return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

bool DecodePng(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffPng(data, size)) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  MemReader reader{data, size, 0};
  bool ok = ReadPng(png, info, reader, out);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) out = DecodedPicture();
  return ok;
}

}  // namespace vl::formats
