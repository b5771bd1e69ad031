// The image model: ChunkyImage (a bare pixel buffer) and Texture (the image object that
// loaders return, operations take and the controller keeps).
//
// Rows are packed without padding; multi-byte pixels are big-endian, so an ARGB32 pixel
// lies in memory as the bytes A, R, G, B. Pixel memory comes from the pool (pool.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vl::image {

enum PixelFormat : uint32_t {
  RGB24 = 0,
  RGBA32 = 1,
  RGB565 = 2,
  BYTE8 = 3,
  ARGB4444 = 4,
  ARGB1555 = 5,
  WORD16 = 6,
  ARGB32 = 7,
  GREY8 = 8,
  ALPHA8 = 9,
  WORD16B = 10,
};

// Size limits for every buffer made from outside input: at most kMaxPixels pixels and
// kMaxBufferBytes bytes (computed in 64 bits). Larger requests fail with null.
inline constexpr int64_t kMaxPixels = int64_t{1} << 28;       // 268 435 456 pixels
inline constexpr int64_t kMaxBufferBytes = int64_t{1} << 31;  // 2 GiB

struct ChunkyImage {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* pixels = nullptr;
  uint32_t format = 0;
};

int BytesPerPixel(uint32_t format);
int BytesPerPixel(const ChunkyImage* image);

// True when width x height of the format fits the limits above (both sides positive).
bool SizeAllowed(int64_t width, int64_t height, uint32_t format);
// Pixel buffer size in bytes (0 when the size is not allowed).
size_t BufferBytes(int64_t width, int64_t height, uint32_t format);

ChunkyImage* chk_Create(int32_t width, int32_t height, uint32_t format, bool zeroed);
// For a caller that writes every pixel before it reads any: the memory is not cleared.
ChunkyImage* chk_CreateForOverwrite(int32_t width, int32_t height, uint32_t format);
void chk_Free(ChunkyImage* image);
ChunkyImage* chk_Duplicate(const ChunkyImage* image);

// No bounds check: the caller keeps 0 <= x < width, 0 <= y < height. For formats without
// a rule the outputs keep what the caller had in them and SetPixel writes nothing.
void GetPixel(const ChunkyImage* image, int x, int y, uint8_t& a, uint8_t& r, uint8_t& g, uint8_t& b);
void SetPixel(ChunkyImage* image, int x, int y, uint8_t a, uint8_t r, uint8_t g, uint8_t b);
void Fill(ChunkyImage* image, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

struct Texture {
  ChunkyImage* chunky = nullptr;
  std::string name;        // source path, or "Clipboard"
  std::string extraText;   // second text, empty unless a loader sets it
  std::string formatName;  // "JPEG", "Sun Raster", ...
  // The ICC profile the picture's file carried, or null. The pixels are the file's own numbers;
  // the profile only tells how to show them and travels with the picture to the files it is saved as.
  std::shared_ptr<const std::vector<uint8_t>> iccProfile;
  // A quick stand-in for the file's picture (a camera RAW's embedded preview): reading the
  // file in full gives the real picture, possibly of another size.
  bool preview = false;
  // The EXIF block of a JPEG file (its APP1 payload, "Exif\0\0" and the TIFF structure), or null;
  // saved again with the picture as JPEG.
  std::shared_ptr<const std::vector<uint8_t>> exifBlock;
  // The pixels were turned upright on load by the EXIF orientation, so a saved EXIF block says 1.
  bool exifOrientationApplied = false;
};

Texture* CreateTexture(int32_t width, int32_t height, uint32_t format);
Texture* CreateTextureZeroed(int32_t width, int32_t height, uint32_t format);
// As chk_CreateForOverwrite: every pixel must be written before any is read.
Texture* CreateTextureForOverwrite(int32_t width, int32_t height, uint32_t format);
void FreeTexture(Texture* texture);
Texture* DuplicateTexture(const Texture* texture);

struct ChunkyDeleter {
  void operator()(ChunkyImage* c) const { chk_Free(c); }
};
struct TextureDeleter {
  void operator()(Texture* t) const { FreeTexture(t); }
};
using ChunkyPtr = std::unique_ptr<ChunkyImage, ChunkyDeleter>;
using TexturePtr = std::unique_ptr<Texture, TextureDeleter>;

// Whole-buffer converters: width x height pixels from src to dst.
// The two "to ARGB32" converters from narrower formats run backwards, so they may
// convert in place in a buffer sized for ARGB32 whose front holds the source pixels.
void ConvertRGB24ToARGB32(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertGREY8ToARGB32(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertRGB24ToRGBA32(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertARGB32ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertARGB32ToRGBA32(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertARGB32ToOpaque(const uint8_t* src, uint8_t* dst, int width, int height);
// ARGB32 bytes (A, R, G, B) <-> 32-bit words 0xAARRGGBB in the machine's byte order, the layout
// of the GUI toolkit's ARGB32 images; rows of width pixels, stride bytes apart in the words.
void ConvertARGB32ToWords(const uint8_t* src, uint8_t* dst, int width, int height, size_t dstStride);
void ConvertWordsToARGB32(const uint8_t* src, size_t srcStride, uint8_t* dst, int width, int height);
void ConvertRGBA32ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertGREY8ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertALPHA8ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertARGB4444ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertRGB565ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);
void ConvertRGB24ToRGB24(const uint8_t* src, uint8_t* dst, int width, int height);

// Channel widening of the converters.
inline uint8_t Widen4(unsigned v) {
  return static_cast<uint8_t>((v * 0x110000u) >> 16);
}
inline uint8_t Widen5(unsigned v) {
  return static_cast<uint8_t>((v * 539086u) >> 16);
}
inline uint8_t Widen6(unsigned v) {
  return static_cast<uint8_t>((v * 265264u) >> 16);
}

struct Size {
  int width;
  int height;
};
// Largest size with the image's aspect ratio inside the box (enlarges as well).
Size FitSize(int width, int height, int boxWidth, int boxHeight);

// RGB24 <-> 16-bit luma/chroma pairs (bytes Y0, U, Y1, V per two pixels).
void PackLumaChroma(const uint8_t* rgb, uint8_t* packed, int width, int height);
void UnpackLumaChroma(const uint8_t* packed, uint8_t* rgb, int width, int height);

}  // namespace vl::image
