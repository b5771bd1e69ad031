// Picture files for the loader and decoder tests: encoded with the formats' own libraries
// or built byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/chunky.h"

namespace vl::test {

using Bytes = std::vector<uint8_t>;

// Reads pixel (x, y) of a texture as 0xAARRGGBB through GetPixel.
uint32_t Argb(const image::Texture* t, int x, int y);
// Reads pixel (x, y) of an RGB24 texture as 0xRRGGBB.
uint32_t Rgb(const image::Texture* t, int x, int y);

// PNG through libpng. rows holds the raw row bytes libpng expects for the colour type and
// bit depth (height rows of equal length).
struct PngSpec {
  int width = 1, height = 1, colorType = 2, bitDepth = 8;
  bool interlaced = false;
  std::vector<Bytes> rows;
  std::vector<uint8_t> palette;    // R, G, B per entry
  std::vector<uint8_t> trnsAlpha;  // tRNS for palettes
  int trnsGrey = -1;               // tRNS for grey pictures
};
Bytes EncodePng(const PngSpec& spec);

// GIF through giflib: indices row by row, a colour map of 2^bits entries, optional
// transparent index and interlacing.
Bytes EncodeGif(int width, int height, const Bytes& indices, const Bytes& palette, int bits, int transparent,
                bool interlaced);

// TIFF through libtiff, 8 bits per sample, contiguous: samples 1 (grey), 3 (RGB) or 4
// (RGB + unassociated alpha).
Bytes EncodeTiff(int width, int height, int samples, const Bytes& data, int compression);

// WebP through libwebp, lossless, from RGBA bytes.
Bytes EncodeWebpLossless(int width, int height, const Bytes& rgba, bool withAlpha);

// JPEG through libjpeg at quality 100 from samples of the given colour space
// (1 grey, 3 RGB, 4 CMYK with the Adobe marker).
Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples);

// IFF ILBM with the given number of planes, from per-pixel values (bit n of each value
// goes to plane n); optional CMAP and CAMG; compression 0 or 1 (ByteRun1).
Bytes BuildIlbm(int width, int height, int planes, const std::vector<uint32_t>& values, const Bytes& cmap,
                int compression, uint32_t camg = 0, bool nameChunk = false);

// Sun Raster with a raw header and body.
Bytes BuildSunRaster(uint32_t width, uint32_t height, uint32_t depth, uint32_t type, const Bytes& map,
                     const Bytes& body, uint32_t magic = 0x59A66A95u);

// Small binary builders.
void PutBe32(Bytes& b, uint32_t v);
void PutBe16(Bytes& b, uint16_t v);
void PutLe32(Bytes& b, uint32_t v);
void PutLe16(Bytes& b, uint16_t v);

// BMP with a 40-byte (or given size) header; body is the raw pixel data as stored.
Bytes BuildBmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, const Bytes& palette,
               const Bytes& body, uint32_t headerSize = 40, const std::vector<uint32_t>& masks = {});

}  // namespace vl::test

#include "image/pool.h"
#include "test_support.h"

namespace vl::test {

// A pool fixture with a temporary directory and a way to load bytes written to a file.
class LoaderTest : public PoolTest {
 protected:
  std::string Write(const std::string& name, const Bytes& data) {
    std::string path = dir_.file(name);
    EXPECT_TRUE(WriteFile(path, data));
    return path;
  }
  image::TexturePtr Load(const std::string& name, const Bytes& data);
  image::TexturePtr LoadForScan(const std::string& name, const Bytes& data);
  TempDir dir_;
};

}  // namespace vl::test
