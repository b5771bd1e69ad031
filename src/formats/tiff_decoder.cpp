// TIFF through libtiff: any layout its RGBA interface can read, first directory only.
#include <tiffio.h>

#include <cstring>

#include "formats/decoders.h"
#include "image/colour_management.h"

namespace vl::formats {
namespace {

// Bound on what TIFF compressions give per byte of strip data (uncompressed: 1).
constexpr uint64_t kCompressedRatio = 4096;

struct MemFile {
  const uint8_t* data;
  uint64_t size;
  uint64_t pos;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  uint64_t k = std::min<uint64_t>(static_cast<uint64_t>(n), f->size - f->pos);
  std::memcpy(buf, f->data + f->pos, k);
  f->pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return -1;
}
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemFile*>(h);
  uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
  uint64_t target = base + off;
  if (target < base) return static_cast<toff_t>(-1);
  f->pos = target;
  return target;
}
int CloseProc(thandle_t) {
  return 0;
}
toff_t SizeProc(thandle_t h) {
  return static_cast<MemFile*>(h)->size;
}
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemFile*>(h);
  *base = const_cast<uint8_t*>(f->data);
  *size = f->size;
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  TIFF* tif;
  ~TiffCloser() {
    if (tif) TIFFClose(tif);
  }
};
struct OptionsFree {
  TIFFOpenOptions* o;
  ~OptionsFree() {
    if (o) TIFFOpenOptionsFree(o);
  }
};

// The strip (or tile) byte counts must lie inside the file and be able to hold the picture.
bool DataPlausible(TIFF* tif, uint64_t fileSize, uint64_t rawBytes) {
  uint64_t* counts = nullptr;
  bool tiled = TIFFIsTiled(tif);
  uint32_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  if (n == 0 || !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts)
    return false;
  uint64_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (counts[i] > fileSize) return false;
    sum += counts[i];
    if (sum > fileSize) return false;
  }
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  uint64_t ratio = compression == COMPRESSION_NONE ? 1 : kCompressedRatio;
  return rawBytes <= sum * ratio;
}

}  // namespace

bool SniffTiff(const uint8_t* data, size_t size) {
  return size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                       (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
}

bool DecodeTiff(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffTiff(data, size)) return false;
  MemFile mem{data, size, 0};
  OptionsFree options{TIFFOpenOptionsAlloc()};
  if (!options.o) return false;
  TIFFOpenOptionsSetErrorHandlerExtR(options.o, QuietHandler, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.o, QuietHandler, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.o, 256 << 20);
  TiffCloser file{TIFFClientOpenExt("memory", "rm", &mem, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                    UnmapProc, options.o)};
  TIFF* tif = file.tif;
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  uint16_t spp = 1, bps = 1, extra = 0;
  uint16_t* extraTypes = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h)) return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
  if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
  uint64_t rawBytes = (static_cast<uint64_t>(w) * spp * bps + 7) / 8 * h;
  if (!DataPlausible(tif, size, rawBytes)) return false;
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tif, message)) return false;
  bool alpha =
      extra > 0 && extraTypes && (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA);
  if (!decode::AllocatePixels(out, w, h, alpha ? 32 : 24)) return false;
  auto* raster = reinterpret_cast<uint32_t*>(out.pixels->pixels);
  if (!TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_TOPLEFT, 1)) {
    out = DecodedPicture();
    return false;
  }
  // The raster holds native words with red in the low byte and premultiplied colours;
  // rewrite each in place as the bytes A, R, G, B with the colours divided back out.
  uint8_t* px = out.pixels->pixels;
  for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
    uint32_t v = raster[i];
    unsigned a = TIFFGetA(v), r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v);
    if (alpha && a > 0 && a < 255) {
      r = std::min(255u, (r * 255 + a / 2) / a);
      g = std::min(255u, (g * 255 + a / 2) / a);
      b = std::min(255u, (b * 255 + a / 2) / a);
    }
    decode::PutArgb(px + i * 4, static_cast<uint8_t>(alpha ? a : 255), static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                    static_cast<uint8_t>(b));
  }
  out.hasAlpha = alpha;
  uint32_t iccBytes = 0;
  void* icc = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccBytes, &icc) && icc && iccBytes > 0 &&
      iccBytes <= image::kMaxIccProfileBytes) {
    const auto* p = static_cast<const uint8_t*>(icc);
    out.iccProfile.assign(p, p + iccBytes);
  }
  out.typeName = "TIFF";
  return true;
}

}  // namespace vl::formats
