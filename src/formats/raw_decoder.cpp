// Camera RAW files through LibRaw. Two ways in: the picture the camera embedded for quick
// viewing (a JPEG or a bitmap), turned as the RAW says, and the full demosaiced picture
// (8-bit sRGB, the camera's white balance, turned). A file LibRaw refuses that is a TIFF is
// handed to the TIFF reader.
#include <libraw/libraw.h>

#include <cstring>
#include <memory>
#include <string>

#include "formats/decoders.h"
#include "platform/messages.h"
#include "platform/thread_pool.h"

namespace vl::formats {
namespace {

// A raw pixel takes at least this fraction of a byte in any compression the cameras use
// (lossless JPEG spends one bit or more per sample); headers claiming more are lies.
constexpr int64_t kRawPixelsPerByte = 16;
// What LibRaw may allocate for one picture, in MiB (the raw data and its working copy).
constexpr unsigned kRawMemoryMb = 2048;

bool Match(const uint8_t* data, size_t size, size_t at, const char* text, size_t n) {
  return size >= at + n && std::memcmp(data + at, text, n) == 0;
}

// Formats whose first bytes name them.
bool SniffRawSignature(const uint8_t* data, size_t size) {
  if (Match(data, size, 0, "II*\0", 4) && Match(data, size, 8, "CR\x02", 3)) return true;  // CR2
  if (Match(data, size, 0, "IIRO", 4) || Match(data, size, 0, "IIRS", 4) || Match(data, size, 0, "MMOR", 4))
    return true;                                                 // ORF
  if (Match(data, size, 0, "IIU\0", 4)) return true;             // RW2
  if (Match(data, size, 0, "FUJIFILMCCD-RAW", 15)) return true;  // RAF
  return Match(data, size, 4, "ftypcrx ", 8);                    // CR3
}

// Makers whose cameras write TIFF-shaped RAW files.
bool RawMaker(const uint8_t* text, size_t n) {
  static const char* const kMakers[] = {"NIKON",  "SONY",  "PENTAX",  "RICOH",          "SAMSUNG",       "Hasselblad",
                                        "LEICA",  "Leica", "KODAK",   "Kodak",          "EASTMAN KODAK", "Phase One",
                                        "Mamiya", "Canon", "MINOLTA", "KONICA MINOLTA", "EPSON",         "SEIKO EPSON"};
  for (const char* m : kMakers) {
    size_t k = std::strlen(m);
    if (n >= k && std::memcmp(text, m, k) == 0) return true;
  }
  return false;
}

// Compressions only RAW files use (the makers' own schemes).
bool RawCompression(uint32_t c) {
  return c == 32767 || c == 32769 || c == 32770 || c == 32772 || c == 34713 || c == 65000 || c == 65535;
}

// A TIFF whose first directory, read within the bytes given, shows a RAW file: a DNG
// version, a colour filter array or linear raw data, a maker's raw compression, or a camera
// maker's name together with sub-directories or a reduced first picture (the RAW's layout:
// the thumbnail first, the sensor data below).
bool SniffTiffRaw(const uint8_t* data, size_t size) {
  if (size < 8) return false;
  bool le = data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0;
  bool be = data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42;
  if (!le && !be) return false;
  auto u16 = [&](size_t at) { return le ? decode::Le16(data + at) : decode::Be16(data + at); };
  auto u32 = [&](size_t at) { return le ? decode::Le32(data + at) : decode::Be32(data + at); };
  uint64_t ifd = u32(4);
  if (ifd < 8 || ifd + 2 > size) return false;
  unsigned count = u16(ifd);
  bool maker = false, subIfds = false, reduced = false;
  for (unsigned i = 0; i < count; ++i) {
    uint64_t e = ifd + 2 + uint64_t{i} * 12;
    if (e + 12 > size) break;
    unsigned tag = u16(e), type = u16(e + 2);
    uint32_t n = u32(e + 4);
    uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
    switch (tag) {
      case 0xC612: return true;  // DNGVersion
      case 0x00FE: reduced = (value & 1) != 0; break;
      case 0x0103:
        if (RawCompression(value)) return true;
        break;
      case 0x0106:
        if (value == 32803 || value == 34892) return true;  // CFA, LinearRaw
        break;
      case 0x014A: subIfds = true; break;
      case 0x010F:
        if (type == 2 && n > 0) {
          uint64_t at = n <= 4 ? e + 8 : u32(e + 8);
          if (at < size) maker = RawMaker(data + at, std::min<uint64_t>(n, size - at));
        }
        break;
      default: break;
    }
  }
  return maker && (subIfds || reduced);
}

// LibRaw 0.20's thumbnail readers for some layouts a file can claim (16-bit and layered
// bitmaps among them) read more than they allocate; only the JPEG and 8-bit bitmap readers
// size their buffer by what they read, so only those are let run.
class GuardedRaw : public LibRaw {
 public:
  GuardedRaw() : LibRaw(LIBRAW_OPTIONS_NONE) {}
  bool ThumbnailReadable() const {
    return !thumb_load_raw && (write_thumb == &GuardedRaw::jpeg_thumb || write_thumb == &GuardedRaw::ppm_thumb);
  }
};

struct Quiet {
  static void Memory(void*, const char*, const char*) {}
  static void Data(void*, const char*, const int) {}
};

int Progress(void*, LibRaw_progress, int, int) {
  return platform::StopRequested() ? 1 : 0;
}

std::unique_ptr<GuardedRaw> OpenRaw(const uint8_t* data, size_t size, int& code) {
  auto raw = std::make_unique<GuardedRaw>();
  raw->set_memerror_handler(Quiet::Memory, nullptr);
  raw->set_dataerror_handler(Quiet::Data, nullptr);
  raw->set_progress_handler(Progress, nullptr);
  raw->imgdata.params.max_raw_memory_mb = kRawMemoryMb;
  // LibRaw reads the buffer only; the parameter lacks the const.
  code = raw->open_buffer(const_cast<uint8_t*>(data), size);
  if (code != LIBRAW_SUCCESS) return nullptr;
  return raw;
}

void Refused(int code) {
  platform::PrintMessage(std::string("RAW: ") + libraw_strerror(code) + "\n");
}

// Where output pixel (y, x) of a picture turned by LibRaw's flip comes from, in a source of
// sw x sh: bit 4 swaps the axes, bit 2 mirrors the rows, bit 1 the columns.
bool Turn(DecodedPicture& pic, int flip) {
  flip &= 7;
  if (flip == 0) return true;
  const int32_t sw = pic.width, sh = pic.height;
  const int32_t ow = flip & 4 ? sh : sw, oh = flip & 4 ? sw : sh;
  DecodedPicture turned;
  if (!decode::AllocatePixels(turned, ow, oh, 24)) return false;
  const uint32_t* src = reinterpret_cast<const uint32_t*>(pic.pixels->pixels);
  uint32_t* dst = reinterpret_cast<uint32_t*>(turned.pixels->pixels);
  for (int32_t y = 0; y < oh; ++y)
    for (int32_t x = 0; x < ow; ++x) {
      int32_t r = y, c = x;
      if (flip & 4) std::swap(r, c);
      if (flip & 2) r = sh - 1 - r;
      if (flip & 1) c = sw - 1 - c;
      dst[static_cast<size_t>(y) * ow + x] = src[static_cast<size_t>(r) * sw + c];
    }
  pic.pixels = std::move(turned.pixels);
  pic.width = ow;
  pic.height = oh;
  return true;
}

// 8-bit RGB rows (as LibRaw hands out pictures) to ARGB32.
bool FromRgb(const uint8_t* rgb, size_t bytes, int64_t w, int64_t h, DecodedPicture& out) {
  if (w <= 0 || h <= 0 || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3 > bytes) return false;
  if (!decode::AllocatePixels(out, w, h, 24)) return false;
  uint8_t* px = out.pixels->pixels;
  for (size_t i = 0, n = static_cast<size_t>(w) * static_cast<size_t>(h); i < n; ++i)
    decode::PutArgb(px + i * 4, 255, rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
  return true;
}

bool DecodePreview(GuardedRaw& raw, DecodedPicture& out) {
  if (!raw.ThumbnailReadable() || raw.unpack_thumb() != LIBRAW_SUCCESS) return false;
  const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
  if (!t.thumb || t.tlength == 0) return false;
  bool ok = false;
  if (t.tformat == LIBRAW_THUMBNAIL_JPEG) {
    ok = DecodeJpeg(reinterpret_cast<const uint8_t*>(t.thumb), t.tlength, out);
  } else if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && t.tcolors == 3) {
    ok = FromRgb(reinterpret_cast<const uint8_t*>(t.thumb), t.tlength, t.twidth, t.theight, out);
  }
  if (!ok || !Turn(out, raw.imgdata.sizes.flip)) {
    out = DecodedPicture();
    return false;
  }
  out.depth = 24;
  out.preview = true;
  return true;
}

bool DecodeDemosaiced(LibRaw& raw, DecodedPicture& out) {
  libraw_output_params_t& p = raw.imgdata.params;
  p.use_camera_wb = 1;
  p.output_color = 1;  // sRGB
  p.output_bps = 8;
  p.gamm[0] = 1 / 2.4;  // the sRGB curve
  p.gamm[1] = 12.92;
  p.no_auto_bright = 1;  // the exposure as taken
  int code = raw.unpack();
  if (code == LIBRAW_SUCCESS && !platform::StopRequested()) code = raw.dcraw_process();
  if (code != LIBRAW_SUCCESS || platform::StopRequested()) {
    if (code != LIBRAW_SUCCESS && code != LIBRAW_CANCELLED_BY_CALLBACK) Refused(code);
    return false;
  }
  libraw_processed_image_t* img = raw.dcraw_make_mem_image(&code);
  if (!img) {
    Refused(code);
    return false;
  }
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> held(img, LibRaw::dcraw_clear_mem);
  // The processed picture comes turned already.
  bool ok = img->type == LIBRAW_IMAGE_BITMAP && img->colors == 3 && img->bits == 8 &&
            FromRgb(img->data, img->data_size, img->width, img->height, out);
  if (!ok) out = DecodedPicture();
  return ok;
}

// Opens the buffer with LibRaw and runs one of the two ways; a TIFF LibRaw refuses goes to
// the TIFF reader.
bool DecodeWith(const uint8_t* data, size_t size, DecodedPicture& out, bool full) {
  out = DecodedPicture();
  if (!SniffRaw(data, std::min(size, kSniffBytes))) return false;
  int code = LIBRAW_SUCCESS;
  std::unique_ptr<GuardedRaw> raw = OpenRaw(data, size, code);
  if (!raw) {
    if (code == LIBRAW_CANCELLED_BY_CALLBACK || platform::StopRequested()) return false;
    if (SniffTiff(data, size) && DecodeTiff(data, size, out)) return true;
    Refused(code);
    return false;
  }
  // Sizes the file cannot hold are refused either way: the preview of such a file would stand
  // for a picture that cannot be read.
  const libraw_image_sizes_t& s = raw->imgdata.sizes;
  if (!image::SizeAllowed(s.raw_width, s.raw_height, image::ARGB32) ||
      !decode::Plausible(s.raw_width, s.raw_height, size, kRawPixelsPerByte) ||
      !image::SizeAllowed(s.width, s.height, image::ARGB32)) {
    platform::PrintMessage("RAW: picture size not allowed\n");
    return false;
  }
  bool ok = (!full && DecodePreview(*raw, out)) || DecodeDemosaiced(*raw, out);
  if (!ok) {
    out = DecodedPicture();
    return false;
  }
  out.typeName = "RAW";
  return true;
}

}  // namespace

bool SniffRaw(const uint8_t* data, size_t size) {
  return SniffRawSignature(data, size) || SniffTiffRaw(data, size);
}

bool DecodeRaw(const uint8_t* data, size_t size, DecodedPicture& out) {
  return DecodeWith(data, size, out, false);
}

bool DecodeRawFull(const uint8_t* data, size_t size, DecodedPicture& out) {
  return DecodeWith(data, size, out, true);
}

}  // namespace vl::formats
