// IFF ILBM writing: a 24-plane deep image (red planes 0-7, green 8-15, blue 16-23) with
// ByteRun1 compression, in a FORM ILBM holding an optional NAME, the BMHD and the BODY.
// The alpha channel is not written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/iff_writer.h"
#include "image/chunky.h"

namespace vl::formats {

// Largest width and height an ILBM can describe (the BMHD fields are 16 bits wide).
inline constexpr int kIlbmMaxSide = 65535;

// Bytes of one plane row: the width rounded up to a multiple of 16, in bits.
size_t IlbmRowBytes(int width);

// The 20 bytes of the BMHD chunk for an image of this size.
void MakeBitMapHeader(int width, int height, uint8_t out[20]);

// ByteRun1 packing of one row. dest must hold MaxPackedSize(rowSize) bytes. Returns the
// number of bytes written to dest.
size_t MaxPackedSize(size_t rowSize);
size_t PackRow(const uint8_t* source, uint8_t* dest, size_t rowSize);

// True when the image can be written as ILBM: ARGB32 or RGB24, 1 to 65535 pixels on each
// side, within the buffer limits.
bool IlbmWritable(const image::ChunkyImage* image);

// Writes the FORM ILBM to a handle attached to a stream; name null writes no NAME chunk.
// Opens and closes the handle (not the stream). 1 on success, 0 on failure.
int WriteILBM(IffHandle* iff, const image::ChunkyImage* image, const char* name);

// Saves the image as an ILBM file, the path in the NAME chunk. The old file at path is
// replaced only when the whole file was written. 1 on success, 0 on failure.
int SaveILBM(const image::ChunkyImage* image, const char* path);
int SaveILBM(const image::Texture* image, const char* path);

}  // namespace vl::formats
