#include "test_loader_helpers.h"

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "test_support.h"

namespace vl::test {

uint32_t Argb(const image::Texture* t, int x, int y) {
  uint8_t a = 0, r = 0, g = 0, b = 0;
  image::GetPixel(t->chunky, x, y, a, r, g, b);
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
}

uint32_t Rgb(const image::Texture* t, int x, int y) {
  const uint8_t* p = t->chunky->pixels + (static_cast<size_t>(y) * t->chunky->width + x) * 3;
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

void PutBe32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void PutBe16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void PutLe32(Bytes& b, uint32_t v) {
  for (int s = 0; s < 32; s += 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void PutLe16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

namespace {
void PngWrite(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void PngFlush(png_structp) {}
}  // namespace

Bytes EncodePng(const PngSpec& s) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng failed to encode";
    return Bytes();
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> pal;
  for (size_t i = 0; i + 2 < s.palette.size(); i += 3)
    pal.push_back({s.palette[i], s.palette[i + 1], s.palette[i + 2]});
  if (!pal.empty()) png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
  png_color_16 grey{};
  if (!s.trnsAlpha.empty()) {
    png_set_tRNS(png, info, s.trnsAlpha.data(), static_cast<int>(s.trnsAlpha.size()), nullptr);
  } else if (s.trnsGrey >= 0) {
    grey.gray = static_cast<png_uint_16>(s.trnsGrey);
    png_set_tRNS(png, info, nullptr, 0, &grey);
  }
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const Bytes& r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

namespace {
int GifWrite(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}
}  // namespace

Bytes EncodeGif(int width, int height, const Bytes& indices, const Bytes& palette, int bits, int transparent,
                bool interlaced) {
  Bytes out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &err);
  if (!gif) return out;
  std::vector<GifColorType> colours(1u << bits);
  for (size_t i = 0; i < colours.size() && i * 3 + 2 < palette.size(); ++i)
    colours[i] = {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
  ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, bits, 0, map);
  if (transparent >= 0) {
    GifByteType gce[4] = {1, 0, 0, static_cast<GifByteType>(transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
  }
  EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr);
  if (interlaced) {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = kStart[p]; y < height; y += kStep[p])
        EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + y * width), width);
  } else {
    for (int y = 0; y < height; ++y) EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + y * width), width);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

Bytes EncodeTiff(int width, int height, int samples, const Bytes& data, int compression) {
  TempDir dir;
  std::string path = dir.file("t.tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return Bytes();
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
  if (samples == 4) {
    uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  for (int y = 0; y < height; ++y)
    TIFFWriteScanline(tif, const_cast<uint8_t*>(data.data() + static_cast<size_t>(y) * width * samples), y, 0);
  TIFFClose(tif);
  return ReadFile(path);
}

Bytes EncodeWebpLossless(int width, int height, const Bytes& rgba, bool withAlpha) {
  uint8_t* out = nullptr;
  size_t n = 0;
  if (withAlpha) {
    n = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out);
  } else {
    Bytes rgb;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    n = WebPEncodeLosslessRGB(rgb.data(), width, height, width * 3, &out);
  }
  Bytes result(out, out + n);
  WebPFree(out);
  return result;
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + static_cast<size_t>(c.next_scanline) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(mem, mem + size);
  std::free(mem);
  return out;
}

namespace {
// ByteRun1 packing of one plane row: replicate runs of 3 or more, literal runs otherwise.
void PackRow(const uint8_t* row, size_t n, Bytes& out) {
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(static_cast<int8_t>(1 - static_cast<int>(run))));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    size_t start = i, len = 0;
    while (i < n && len < 128) {
      if (i + 2 < n && row[i] == row[i + 1] && row[i] == row[i + 2]) break;
      ++i;
      ++len;
    }
    out.push_back(static_cast<uint8_t>(len - 1));
    out.insert(out.end(), row + start, row + start + len);
  }
}

void PutChunk(Bytes& form, const char* id, const Bytes& data) {
  form.insert(form.end(), id, id + 4);
  PutBe32(form, static_cast<uint32_t>(data.size()));
  form.insert(form.end(), data.begin(), data.end());
  if (data.size() & 1) form.push_back(0);
}
}  // namespace

Bytes BuildIlbm(int width, int height, int planes, const std::vector<uint32_t>& values, const Bytes& cmap,
                int compression, uint32_t camg, bool nameChunk) {
  Bytes bmhd;
  PutBe16(bmhd, static_cast<uint16_t>(width));
  PutBe16(bmhd, static_cast<uint16_t>(height));
  PutBe32(bmhd, 0);
  bmhd.push_back(static_cast<uint8_t>(planes));
  bmhd.push_back(0);
  bmhd.push_back(static_cast<uint8_t>(compression));
  bmhd.push_back(0);
  PutBe16(bmhd, 0);
  bmhd.push_back(1);
  bmhd.push_back(1);
  PutBe16(bmhd, static_cast<uint16_t>(width));
  PutBe16(bmhd, static_cast<uint16_t>(height));
  size_t rowBytes = (static_cast<size_t>(width) + 15) / 16 * 2;
  Bytes body;
  for (int y = 0; y < height; ++y)
    for (int p = 0; p < planes; ++p) {
      Bytes row(rowBytes, 0);
      for (int x = 0; x < width; ++x)
        if ((values[static_cast<size_t>(y) * width + x] >> p) & 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      if (compression == 1)
        PackRow(row.data(), row.size(), body);
      else
        body.insert(body.end(), row.begin(), row.end());
    }
  Bytes inner = {'I', 'L', 'B', 'M'};
  if (nameChunk) PutChunk(inner, "NAME", Bytes());
  PutChunk(inner, "BMHD", bmhd);
  if (!cmap.empty()) PutChunk(inner, "CMAP", cmap);
  if (camg) {
    Bytes c;
    PutBe32(c, camg);
    PutChunk(inner, "CAMG", c);
  }
  PutChunk(inner, "BODY", body);
  Bytes form = {'F', 'O', 'R', 'M'};
  PutBe32(form, static_cast<uint32_t>(inner.size()));
  form.insert(form.end(), inner.begin(), inner.end());
  return form;
}

Bytes BuildSunRaster(uint32_t width, uint32_t height, uint32_t depth, uint32_t type, const Bytes& map,
                     const Bytes& body, uint32_t magic) {
  Bytes b;
  PutBe32(b, magic);
  PutBe32(b, width);
  PutBe32(b, height);
  PutBe32(b, depth);
  PutBe32(b, static_cast<uint32_t>(body.size()));
  PutBe32(b, type);
  PutBe32(b, map.empty() ? 0 : 1);
  PutBe32(b, static_cast<uint32_t>(map.size()));
  b.insert(b.end(), map.begin(), map.end());
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes BuildBmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, const Bytes& palette,
               const Bytes& body, uint32_t headerSize, const std::vector<uint32_t>& masks) {
  Bytes info;
  PutLe32(info, headerSize);
  PutLe32(info, static_cast<uint32_t>(width));
  PutLe32(info, static_cast<uint32_t>(height));
  PutLe16(info, 1);
  PutLe16(info, bpp);
  PutLe32(info, compression);
  PutLe32(info, static_cast<uint32_t>(body.size()));
  PutLe32(info, 2835);
  PutLe32(info, 2835);
  PutLe32(info, static_cast<uint32_t>(palette.size() / 4));
  PutLe32(info, 0);
  Bytes extra;
  if (headerSize == 40) {
    for (uint32_t m : masks) PutLe32(extra, m);
  } else {
    for (size_t i = 0; i < 4; ++i) PutLe32(info, i < masks.size() ? masks[i] : 0);
    while (info.size() < headerSize) info.push_back(0);
  }
  Bytes b = {'B', 'M'};
  uint32_t offset = static_cast<uint32_t>(14 + info.size() + extra.size() + palette.size());
  PutLe32(b, static_cast<uint32_t>(offset + body.size()));
  PutLe32(b, 0);
  PutLe32(b, offset);
  b.insert(b.end(), info.begin(), info.end());
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

}  // namespace vl::test

#include "formats/loader.h"

namespace vl::test {

image::TexturePtr LoaderTest::Load(const std::string& name, const Bytes& data) {
  return image::TexturePtr(formats::ReadPicture(Write(name, data).c_str()));
}

image::TexturePtr LoaderTest::LoadForScan(const std::string& name, const Bytes& data) {
  return image::TexturePtr(formats::ReadPictureForScan(Write(name, data).c_str()));
}

}  // namespace vl::test
