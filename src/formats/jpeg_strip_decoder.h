// Decoding one large baseline JPEG on several threads. Each thread runs a decompressor of its
// own on the same bytes: it entropy-decodes the rows above its strip without reconstructing
// them (jpeg_skip_scanlines), then decodes its strip's rows in full straight into the picture.
// The rows come out byte for byte as a single decompressor gives them.
//
// A strip costs the entropy decoding of everything above it plus the full decoding of its own
// rows, so later strips are made shorter to finish together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>

namespace vl::formats {

// Where the rows of a strip decode go and how the codec's rows become picture rows.
struct JpegStripOutput {
  uint8_t* pixels = nullptr;  // row 0 of the picture
  size_t stride = 0;          // bytes from one picture row to the next
  // The codec writes each row into a scratch row (output_width x output_components bytes)
  // instead of straight into the picture row.
  bool scratch = false;
  // Makes picture row `out` from the codec's row `decoded` (the picture row itself without a
  // scratch row); context is handed through. Null: the codec's row is the picture row.
  void (*finishRow)(const void* context, uint8_t* decoded, uint8_t* out) = nullptr;
  const void* context = nullptr;
};

enum class JpegStripResult {
  kNotUsed,  // one thread, a small picture or a file strips do not handle: nothing written
  kDecoded,  // every row written and the file read to its end without a warning
  kFailed,   // a strip failed, warned (damaged data) or did not run: rows may be half written
};

// Pictures with fewer pixels decode on one thread, unless a ScopedThreadCount ignores grain.
inline constexpr int64_t kJpegStripMinPixels = int64_t{1} << 20;

// The part of a baseline decode spent on entropy decoding (what a skipped row costs), estimated
// from the bytes of coded data per pixel and the blocks per pixel: entropy decoding costs per
// byte, the rest (dequantisation, IDCT, upsampling, colour conversion) per pixel and block.
// Measured shares of 5120 x 2880 photographs run from 0.32 (smooth, 4:2:0, 0.09 bytes per
// pixel) to 0.52 (fine grain, 4:4:4, 0.35 bytes per pixel).
double JpegEntropyShare(double codedBytes, double pixels, double blocksPerPixel);

// Decodes the picture of `opened` in strips on platform::ThreadsForCaller() threads. `opened`
// is a decompression the caller started (jpeg_start_decompress) on data[0, size) and has read
// no row of; every strip's decompressor takes its output settings, and `opened` is left as it
// is, so after kNotUsed or kFailed the caller decodes with it the plain way.
JpegStripResult DecodeJpegStrips(const jpeg_decompress_struct& opened, const uint8_t* data, size_t size,
                                 const JpegStripOutput& out);

// The first iMCU row of each of `strips` strips over `imcuRows` iMCU rows (strips <= imcuRows):
// starts at 0, strictly increasing, so that strips finish together when a skipped iMCU row
// costs `entropyShare` of a decoded one.
std::vector<int> JpegStripStarts(int imcuRows, int strips, double entropyShare);

// Pictures decoded in strips so far (kDecoded results), for tests and diagnostics.
int64_t JpegStripDecodes();

}  // namespace vl::formats
