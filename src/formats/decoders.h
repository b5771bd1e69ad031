// The system picture decoder: a table of decoders, each pairing a sniffer on the first
// bytes of a file with a loader. The sniffers never look at the file name.
//
// A decoder delivers the picture in one of two shapes:
//   depth <= 8: one palette index per pixel (BYTE8 buffer) and a palette of R, G, B
//               triples (always 256 entries, unused ones black);
//   depth > 8:  ARGB32 pixels, with hasAlpha set when the alpha channel carries data.
// ReadDatatype turns either shape into a Texture (ARGB32, or RGB24 for thumbnails).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/chunky.h"

namespace vl::formats {

struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  int depth = 0;                 // bits per pixel of the source picture
  std::vector<uint8_t> palette;  // 3 bytes per entry (depth <= 8)
  bool hasAlpha = false;
  std::string typeName;
  image::ChunkyPtr pixels;          // BYTE8 indices (depth <= 8) or ARGB32 (depth > 8)
  std::vector<uint8_t> iccProfile;  // the embedded ICC profile, empty when there is none
  bool preview = false;             // a quick stand-in the file embeds (a camera RAW's preview)
  std::vector<uint8_t> exifBlock;   // a JPEG's EXIF block (APP1 payload), empty when there is none
};

struct Decoder {
  const char* typeName;
  // True when the first bytes look like this format (size may be short).
  bool (*sniff)(const uint8_t* data, size_t size);
  // Decodes a whole file held in memory. False on any fault; out is then left empty.
  bool (*decode)(const uint8_t* data, size_t size, DecodedPicture& out);
  // The MIME types of the files this decoder reads, separated by ';' (the desktop entry
  // offers the program for exactly these).
  const char* mimeTypes;
};

// Group identifiers of the type detection.
constexpr uint32_t MakeGroupId(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8 | static_cast<uint32_t>(static_cast<uint8_t>(d));
}
inline constexpr uint32_t kGroupPicture = MakeGroupId('p', 'i', 'c', 't');
inline constexpr uint32_t kGroupText = MakeGroupId('t', 'e', 'x', 't');
inline constexpr uint32_t kGroupSound = MakeGroupId('s', 'o', 'u', 'n');
inline constexpr uint32_t kGroupMovie = MakeGroupId('m', 'o', 'v', 'i');
inline constexpr uint32_t kGroupImage = MakeGroupId('i', 'm', 'a', 'g');  // a picture no decoder reads
inline constexpr uint32_t kGroupSystem = MakeGroupId('s', 'y', 's', 't');

// Bytes a sniffer may look at: one page, enough for the first directory of a TIFF-shaped
// camera RAW file.
inline constexpr size_t kSniffBytes = 4096;

// The decoder table, in sniffing order.
const std::vector<Decoder>& DecoderTable();
// Every MIME type of the decoder table, in table order, each once.
std::vector<std::string> DecoderMimeTypes();
// The decoder whose sniffer claims the bytes, or null.
const Decoder* FindDecoder(const uint8_t* data, size_t size);

// Sniffs and decodes a buffer with the first decoder that claims it.
bool DecodeMemory(const uint8_t* data, size_t size, DecodedPicture& out);

// How much of a picture a read wants: all of it, or a quick stand-in where the file embeds
// one (a camera RAW's preview; other formats give their whole picture either way).
enum class Detail { Full, Preview };

// The system decoder: reads a file (null: the clipboard unit CLIPS:0) and converts what
// the decoder delivered to an ARGB32 Texture (forScan: RGB24). Sets the format name to
// the decoder's type name. Null on failure. Without a detail, scans read the preview and
// views the full picture.
image::Texture* ReadDatatype(const char* path, bool forScan);
image::Texture* ReadDatatype(const char* path, bool forScan, Detail detail);
// Converts a decoded picture as ReadDatatype does (exposed for memory-buffer callers).
image::Texture* PictureToTexture(DecodedPicture& pic, bool forScan);

// The decoders, one per format, each on a memory buffer.
bool SniffPng(const uint8_t* data, size_t size);
bool DecodePng(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffGif(const uint8_t* data, size_t size);
bool DecodeGif(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffTiff(const uint8_t* data, size_t size);
bool DecodeTiff(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffWebp(const uint8_t* data, size_t size);
bool DecodeWebp(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffJpeg(const uint8_t* data, size_t size);
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffBmp(const uint8_t* data, size_t size);
bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffPnm(const uint8_t* data, size_t size);
bool DecodePnm(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffIlbm(const uint8_t* data, size_t size);
bool DecodeIlbm(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffSunRaster(const uint8_t* data, size_t size);
bool DecodeSunRaster(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffHeif(const uint8_t* data, size_t size);
bool DecodeHeif(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffAvif(const uint8_t* data, size_t size);
bool DecodeAvif(const uint8_t* data, size_t size, DecodedPicture& out);
bool SniffJxl(const uint8_t* data, size_t size);
bool DecodeJxl(const uint8_t* data, size_t size, DecodedPicture& out);
// Camera RAW: DecodeRaw gives the embedded preview (preview set) or, without a usable one, the
// full picture; DecodeRawFull the full demosaiced picture, ending early (false) when the
// calling thread's stop flag is raised (platform::ScopedStopFlag).
bool SniffRaw(const uint8_t* data, size_t size);
bool DecodeRaw(const uint8_t* data, size_t size, DecodedPicture& out);
bool DecodeRawFull(const uint8_t* data, size_t size, DecodedPicture& out);

// Helpers shared by the decoders.
namespace decode {
// Sets the size and allocates the pixel buffer (BYTE8 for depth <= 8, else ARGB32) after
// checking the size against the buffer limit. False when not allowed or out of memory.
bool AllocatePixels(DecodedPicture& out, int64_t width, int64_t height, int depth);
// True when width x height pixels can come from dataSize bytes at no more than
// pixelsPerByte pixels per byte (a bound on what the format's compression can do).
bool Plausible(int64_t width, int64_t height, size_t dataSize, int64_t pixelsPerByte);
// A palette of 256 black entries with the first count entries a grey ramp (count >= 2).
std::vector<uint8_t> GreyPalette(int count, bool inverted = false);
inline uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}
inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
// What the 'ftyp' box at the start of an ISO base media file names: a HEIF still picture
// (HEVC coded or the generic image brands), an AVIF, or neither.
enum class BmffKind { kNone, kHeif, kAvif };
BmffKind ClassifyBmff(const uint8_t* data, size_t size);
// False when a HEIF file's 'grid' or 'iovl' picture names a canvas beyond the buffer limits,
// or its item table cannot be read; the decoding library would allocate that canvas first.
bool HeifCanvasesAllowed(const uint8_t* data, size_t size);
// Turns an ARGB32 picture by angle x 90 degrees anticlockwise, then mirrors it (mirror 0:
// top and bottom exchanged, 1: left and right, -1: none), the order in which HEIF files
// apply their 'irot' and 'imir' properties. False (picture unchanged) when out of memory.
bool RotateMirror(DecodedPicture& pic, int angle, int mirror);
inline void PutArgb(uint8_t* p, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  p[0] = a, p[1] = r, p[2] = g, p[3] = b;
}
}  // namespace decode

}  // namespace vl::formats
