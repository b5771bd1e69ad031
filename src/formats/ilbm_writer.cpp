#include "formats/ilbm_writer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/safe_file.h"

namespace vl::formats {
namespace {

// Flush the staging buffer into the BODY once it holds more than this.
constexpr size_t kStagingFlush = 1024;

constexpr int kPlanes = 24;

void PutBE16(uint8_t* p, unsigned v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

bool Reserve(std::vector<uint8_t>& buffer, size_t size) {
  try {
    buffer.assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    std::printf("[IFFSaver]: Not enough memory (%d needed)\n", static_cast<int>(size));
    std::fflush(stdout);
    return false;
  }
}

bool WriteStaging(IffHandle* iff, std::vector<uint8_t>& staging, size_t& used) {
  if (used == 0) return true;
  long wrote = WriteChunkBytes(iff, staging.data(), static_cast<long>(used));
  if (wrote != static_cast<long>(used)) {
    PrintWriteChunkError(static_cast<long>(used), wrote);
    return false;
  }
  used = 0;
  return true;
}

// One bit plane of a channel row: bit `bit` of each pixel, first pixel in the most
// significant bit of the first byte.
void MakePlaneRow(const uint8_t* channel, size_t rowBytes, int bit, uint8_t* plane) {
  for (size_t i = 0; i < rowBytes; ++i) {
    const uint8_t* px = channel + i * 8;
    unsigned b = 0;
    for (int k = 0; k < 8; ++k) b |= ((px[k] >> bit) & 1u) << (7 - k);
    plane[i] = static_cast<uint8_t>(b);
  }
}

bool WriteBody(IffHandle* iff, const image::ChunkyImage* image) {
  const size_t width = static_cast<size_t>(image->width);
  const size_t rowBytes = IlbmRowBytes(image->width);
  const size_t paddedWidth = rowBytes * 8;

  std::vector<uint8_t> planes, channels, staging;
  if (!Reserve(planes, rowBytes * kPlanes)) return false;
  // Pixels beyond the width stay 0 in the channel rows, so the pad bits are 0.
  if (!Reserve(channels, paddedWidth * 3)) return false;
  if (!Reserve(staging, kStagingFlush + MaxPackedSize(rowBytes))) return false;

  const size_t bpp = image->format == image::ARGB32 ? 4 : 3;
  const size_t first = image->format == image::ARGB32 ? 1 : 0;  // offset of red in a pixel
  uint8_t* red = channels.data();
  uint8_t* green = red + paddedWidth;
  uint8_t* blue = green + paddedWidth;
  size_t used = 0;

  for (int y = 0; y < image->height; ++y) {
    const uint8_t* src = image->pixels + static_cast<size_t>(y) * width * bpp + first;
    for (size_t x = 0; x < width; ++x, src += bpp) {
      red[x] = src[0];
      green[x] = src[1];
      blue[x] = src[2];
    }
    for (int c = 0; c < 3; ++c) {
      for (int bit = 0; bit < 8; ++bit) {
        MakePlaneRow(channels.data() + c * paddedWidth, rowBytes, bit, planes.data() + (c * 8 + bit) * rowBytes);
      }
    }
    for (int p = 0; p < kPlanes; ++p) {
      used += PackRow(planes.data() + p * rowBytes, staging.data() + used, rowBytes);
      if (used > kStagingFlush && !WriteStaging(iff, staging, used)) return false;
    }
  }
  return WriteStaging(iff, staging, used);
}

}  // namespace

size_t IlbmRowBytes(int width) {
  if (width <= 0) return 0;
  return ((static_cast<size_t>(width) + 15) / 16) * 2;
}

void MakeBitMapHeader(int width, int height, uint8_t out[20]) {
  std::memset(out, 0, 20);
  PutBE16(out + 0, static_cast<unsigned>(width) & 0xFFFF);
  PutBE16(out + 2, static_cast<unsigned>(height) & 0xFFFF);
  // x and y position 0
  out[8] = kPlanes;
  out[9] = 0;   // no masking
  out[10] = 1;  // ByteRun1
  out[11] = 0;
  // transparent colour 0
  out[14] = 1;  // x aspect
  out[15] = 1;  // y aspect
  PutBE16(out + 16, static_cast<unsigned>(width) & 0xFFFF);
  PutBE16(out + 18, static_cast<unsigned>(height) & 0xFFFF);
}

size_t MaxPackedSize(size_t rowSize) {
  return rowSize + ((rowSize + 127) >> 7);
}

// The packer of the IFF standard: bytes collect in a literal buffer; three equal bytes
// (or two at the buffer's start, where a run costs nothing) switch to a run, which ends
// at a different byte or at 128 repeats. Literal runs hold at most 128 bytes.
size_t PackRow(const uint8_t* source, uint8_t* dest, size_t rowSize) {
  constexpr size_t kMinRun = 3, kMaxRun = 128, kMaxDat = 128;
  if (rowSize == 0) return 0;
  uint8_t* out = dest;
  const uint8_t* buf = source;  // start of the pending bytes in the source
  size_t nbuf = 1;              // pending bytes
  size_t rstart = 0;            // index in the pending bytes where the current run starts
  bool run = false;
  uint8_t lastc = source[0];

  auto outDump = [&](size_t n) {
    *out++ = static_cast<uint8_t>(n - 1);
    std::memcpy(out, buf, n);
    out += n;
  };
  auto outRun = [&](size_t n, uint8_t c) {
    *out++ = static_cast<uint8_t>(1 - static_cast<int>(n));
    *out++ = c;
  };

  for (size_t i = 1; i < rowSize; ++i) {
    uint8_t c = source[i];
    ++nbuf;
    if (!run) {
      if (nbuf > kMaxDat) {
        outDump(nbuf - 1);
        buf = source + i;
        nbuf = 1;
        rstart = 0;
      } else if (c == lastc) {
        if (nbuf - rstart >= kMinRun) {
          if (rstart > 0) outDump(rstart);
          run = true;
        } else if (rstart == 0) {
          run = true;
        }
      } else {
        rstart = nbuf - 1;
      }
    } else if (c != lastc || nbuf - rstart > kMaxRun) {
      outRun(nbuf - 1 - rstart, lastc);
      buf = source + i;
      nbuf = 1;
      rstart = 0;
      run = false;
    }
    lastc = c;
  }
  if (run)
    outRun(nbuf - rstart, lastc);
  else
    outDump(nbuf);
  return static_cast<size_t>(out - dest);
}

bool IlbmWritable(const image::ChunkyImage* image) {
  if (!image || !image->pixels) return false;
  if (image->format != image::ARGB32 && image->format != image::RGB24) return false;
  if (image->width < 1 || image->height < 1 || image->width > kIlbmMaxSide || image->height > kIlbmMaxSide)
    return false;
  return image::SizeAllowed(image->width, image->height, image->format);
}

int WriteILBM(IffHandle* iff, const image::ChunkyImage* image, const char* name) {
  if (!iff || !IlbmWritable(image)) return 0;
  if (OpenIFF(iff) != 0) return 0;
  bool ok = false;
  long error = PushChunk(iff, ID_ILBM, ID_FORM, IFFSIZE_UNKNOWN);
  if (error != 0) {
    PrintPushChunkError(ID_FORM, error, IFFSIZE_UNKNOWN);
  } else {
    ok = true;
    if (name) {
      size_t length = std::strlen(name);
      ok = length <= static_cast<size_t>(kIffMaxChunkSize) && PutCk(iff, ID_NAME, static_cast<long>(length), name) == 0;
    }
    if (ok) {
      uint8_t bmhd[20];
      MakeBitMapHeader(image->width, image->height, bmhd);
      ok = PutCk(iff, ID_BMHD, sizeof bmhd, bmhd) == 0;
    }
    if (ok) {
      error = PushChunk(iff, 0, ID_BODY, IFFSIZE_UNKNOWN);
      if (error != 0) {
        PrintPushChunkError(ID_BODY, error, IFFSIZE_UNKNOWN);
        ok = false;
      }
    }
    if (ok) ok = WriteBody(iff, image) && PopChunk(iff) == 0;
    if (ok) ok = PopChunk(iff) == 0;
  }
  CloseIFF(iff);
  return ok ? 1 : 0;
}

int SaveILBM(const image::ChunkyImage* image, const char* path) {
  if (!path || !*path || !IlbmWritable(image)) return 0;
  std::unique_ptr<IffHandle> iff;
  try {
    iff = std::make_unique<IffHandle>();
  } catch (const std::bad_alloc&) {
    std::fputs("ERROR\n", stdout);
    std::fflush(stdout);
    return 0;
  }
  platform::SafeFile file(path, true);
  if (!file.file()) {
    std::printf("failed to open file for save:%s\n", path);
    std::fflush(stdout);
    return 0;
  }
  InitIFFasFile(iff.get(), file.file());
  if (!WriteILBM(iff.get(), image, path)) return 0;  // the temporary file goes, the old file stays
  return file.Commit() ? 1 : 0;
}

int SaveILBM(const image::Texture* image, const char* path) {
  return SaveILBM(image ? image->chunky : nullptr, path);
}

}  // namespace vl::formats
