// The built-in JPEG reader and writer on the libjpeg API (version 62).
//
// Every library call that can fail runs inside Guarded() (jpeg_guard.h). Everything a decode
// owns lives in a Decoder record freed by its destructor; the coding of a save is in
// jpeg_encoder.cpp. Each call makes its own record, codec context and error manager and shares
// nothing with another call, so decodes and encodes on different threads run at once without a
// lock.
#include "formats/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "formats/exif.h"
#include "formats/file_read.h"
#include "formats/icc_profile.h"
#include "formats/jpeg_codec.h"
#include "formats/jpeg_encoder.h"
#include "formats/jpeg_guard.h"
#include "formats/jpeg_strip_decoder.h"
#include "formats/picture_metadata.h"
#include "image/pool.h"
#include "platform/safe_file.h"

namespace vl::formats {
namespace {

// A progressive file may hold any number of scans, each a pass over the whole picture; more
// than this is no picture a camera or editor writes, only a way to keep the decoder busy.
constexpr int kMaxScans = 1000;

void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_NOT_COMPILED;
    cinfo->err->error_exit(cinfo);
  }
}

struct Decoder {
  jpeg_decompress_struct cinfo{};
  SilentError err{};
  jpeg_progress_mgr progress{};
  bool created = false;
  bool started = false;
  FileBytes owned;  // the whole file, when read from a file
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint8_t* row = nullptr;  // 4 x width bytes from the pixel pool
  int width = 0;
  int height = 0;
  int components = 0;
  bool wantArgb = false;  // set before OpenDecoder(): colour pictures come out as A, R, G, B
  bool argbOut = false;   // the codec writes A = 255, R, G, B itself

  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
    image::Free(row);
  }
};

// Reads the header and starts decompression. forThumbnail picks the floating-point DCT.
// With wantArgb, colour pictures are decoded straight to A, R, G, B (the codec's extended
// colour space gives the same R, G, B bytes); grey and CMYK keep their own conversion.
bool OpenDecoder(Decoder& d, bool forThumbnail) {
  if (!d.data || d.size == 0) return false;
  InstallSilentErrors(d.err);
  d.cinfo.err = &d.err.pub;
  d.progress.progress_monitor = LimitScans;
  bool ok = Guarded(d.err, [&] {
    d.created = true;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.mem->max_memory_to_use = image::kMaxBufferBytes;
    d.cinfo.progress = &d.progress;
    jpeg_mem_src(&d.cinfo, d.data, static_cast<unsigned long>(d.size));
    KeepJpegIccMarkers(&d.cinfo);
    jpeg_read_header(&d.cinfo, TRUE);
    d.cinfo.quantize_colors = FALSE;
    d.cinfo.dither_mode = JDITHER_NONE;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = 1;
    d.cinfo.dct_method = forThumbnail ? JDCT_FLOAT : JDCT_ISLOW;
    if (d.wantArgb && d.cinfo.out_color_space == JCS_RGB) d.cinfo.out_color_space = JCS_EXT_ARGB;
    jpeg_calc_output_dimensions(&d.cinfo);
  });
  if (!ok) return false;
  d.width = static_cast<int>(d.cinfo.output_width);
  d.height = static_cast<int>(d.cinfo.output_height);
  d.components = d.cinfo.output_components;
  d.argbOut = d.cinfo.out_color_space == JCS_EXT_ARGB;
  if (d.components != 1 && d.components != 3 && d.components != 4) return false;
  if (!image::SizeAllowed(d.cinfo.output_width, d.cinfo.output_height, image::ARGB32)) return false;
  // A few hundred bytes claiming millions of pixels would be decoded, from nothing, at full
  // size: refused.
  if (static_cast<uint64_t>(d.width) * static_cast<uint64_t>(d.height) >
      static_cast<uint64_t>(d.size) * kJpegMaxPixelsPerByte)
    return false;
  if (!Guarded(d.err, [&] { jpeg_start_decompress(&d.cinfo); })) return false;
  d.started = true;
  d.row = static_cast<uint8_t*>(image::Allocate(static_cast<size_t>(d.width) * 4));
  return d.row != nullptr;
}

std::unique_ptr<Decoder> OpenFileDecoder(const char* path, bool wantArgb) {
  auto d = std::make_unique<Decoder>();
  d->wantArgb = wantArgb;
  if (!path || !ReadWholeFile(path, d->owned, image::kMaxBufferBytes)) return nullptr;
  d->data = d->owned.data();
  d->size = d->owned.size();
  if (!OpenDecoder(*d, false)) return nullptr;
  return d;
}

bool FinishDecoder(Decoder& d) {
  if (!d.started) return true;
  d.started = false;
  return Guarded(d.err, [&] { jpeg_finish_decompress(&d.cinfo); });
}

// Widens a grey, RGB or CMYK row the codec wrote at the start of row to A, R, G, B in place.
void WidenToARGB32(const Decoder& d, uint8_t* row) {
  if (d.components == 4) {
    const bool inverted = d.cinfo.saw_Adobe_marker;
    for (int x = 0; x < d.width; ++x) {
      uint8_t* p = row + static_cast<size_t>(x) * 4;
      const uint8_t r = CmykChannel(p[0], p[3], inverted);
      const uint8_t g = CmykChannel(p[1], p[3], inverted);
      const uint8_t b = CmykChannel(p[2], p[3], inverted);
      p[0] = 255;
      p[1] = r;
      p[2] = g;
      p[3] = b;
    }
  } else if (d.components == 3) {
    image::ConvertRGB24ToARGB32(row, row, d.width, 1);
  } else {
    image::ConvertGREY8ToARGB32(row, row, d.width, 1);
  }
}

// Makes the RGB24 row out from a row the codec decoded.
void ToRGB24(const Decoder& d, const uint8_t* decoded, uint8_t* out) {
  if (d.components == 4) {
    const bool inverted = d.cinfo.saw_Adobe_marker;
    for (int x = 0; x < d.width; ++x) {
      const uint8_t* p = decoded + static_cast<size_t>(x) * 4;
      out[x * 3 + 0] = CmykChannel(p[0], p[3], inverted);
      out[x * 3 + 1] = CmykChannel(p[1], p[3], inverted);
      out[x * 3 + 2] = CmykChannel(p[2], p[3], inverted);
    }
  } else if (d.components == 3) {
    std::memcpy(out, decoded, static_cast<size_t>(d.width) * 3);
  } else {
    image::ConvertGREY8ToRGB24(decoded, out, d.width, 1);
  }
}

// Decodes every row as ARGB32 straight into the texture; grey and CMYK rows are widened in place.
bool DecodeARGB32(Decoder& d, image::ChunkyImage* dest) {
  bool complete = true;
  bool ok = Guarded(d.err, [&] {
    const size_t stride = static_cast<size_t>(d.width) * 4;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
      uint8_t* row = dest->pixels + static_cast<size_t>(d.cinfo.output_scanline) * stride;
      JSAMPROW rows[1] = {row};
      if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1) {
        complete = false;
        return;
      }
      if (!d.argbOut) WidenToARGB32(d, row);
    }
  });
  return ok && complete;
}

// Decodes every row through the row buffer into an RGB24 texture.
bool DecodeRGB24(Decoder& d, image::ChunkyImage* dest) {
  bool complete = true;
  bool ok = Guarded(d.err, [&] {
    const size_t stride = static_cast<size_t>(d.width) * 3;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
      uint8_t* out = dest->pixels + static_cast<size_t>(d.cinfo.output_scanline) * stride;
      JSAMPROW rows[1] = {d.row};
      if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1) {
        complete = false;
        return;
      }
      ToRGB24(d, d.row, out);
    }
  });
  return ok && complete;
}

// Large baseline pictures decode in strips on several threads, with the rows the plain decode
// gives. False when they do not or a strip failed: d is untouched, for the plain decode.
bool DecodeInStrips(const Decoder& d, uint32_t format, image::ChunkyImage* dest) {
  JpegStripOutput out;
  out.pixels = dest->pixels;
  out.stride = static_cast<size_t>(d.width) * image::BytesPerPixel(format);
  out.context = &d;
  if (format == image::ARGB32) {
    if (!d.argbOut)
      out.finishRow = [](const void* c, uint8_t* row, uint8_t*) {
        WidenToARGB32(*static_cast<const Decoder*>(c), row);
      };
  } else if (d.components != 3) {
    out.scratch = true;
    out.finishRow = [](const void* c, uint8_t* decoded, uint8_t* row) {
      ToRGB24(*static_cast<const Decoder*>(c), decoded, row);
    };
  }
  return DecodeJpegStrips(d.cinfo, d.data, d.size, out) == JpegStripResult::kDecoded;
}

image::Texture* DecodeToTexture(Decoder& d, uint32_t format) {
  image::TexturePtr tex(image::CreateTextureForOverwrite(d.width, d.height, format));
  if (!tex) return nullptr;
  if (DecodeInStrips(d, format, tex->chunky)) return tex.release();
  bool ok = format == image::ARGB32 ? DecodeARGB32(d, tex->chunky) : DecodeRGB24(d, tex->chunky);
  if (!ok || !FinishDecoder(d)) return nullptr;
  return tex.release();
}

// Decodes as DecodeToTexture and gives the texture the ICC profile of the file's APP2
// markers, taken before the decode ends (finishing frees the kept markers).
image::Texture* DecodeWithIccProfile(Decoder& d, uint32_t format) {
  std::vector<uint8_t> profile = JpegIccProfile(&d.cinfo);
  image::Texture* texture = DecodeToTexture(d, format);
  if (texture && !profile.empty())
    texture->iccProfile = std::make_shared<const std::vector<uint8_t>>(std::move(profile));
  return texture;
}

// The picture keeps its file's EXIF block, to be saved with it again.
image::Texture* WithExif(image::Texture* picture, const Decoder& d) {
  AttachJpegExif(picture, d.data, d.size);
  return picture;
}

JpegSections PrepareMetadata(const SaveMetadata& metadata) {
  JpegSections m;
  if (metadata.exifBlock) m.exif = ExifBlockForSave(*metadata.exifBlock, metadata.exifOrientationApplied);
  if (metadata.iccProfile && IsRgbIccProfile(*metadata.iccProfile) && metadata.iccProfile->size() <= kMaxJpegIccProfile)
    m.icc = metadata.iccProfile;
  return m;
}

// Reads an integer the way "%d" does: optional white space, an optional sign, digits.
bool ScanInt(const char*& p, long& value) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  long v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v < 1000000000L) v = v * 10 + (*p - '0');  // saturates; any such value is out of range
    ++p;
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

image::Texture* ReadJpeg(const char* path) {
  std::unique_ptr<Decoder> d = OpenFileDecoder(path, true);
  return d ? WithExif(DecodeWithIccProfile(*d, image::ARGB32), *d) : nullptr;
}

image::Texture* ReadJpegForCache(const char* path) {
  std::unique_ptr<Decoder> d = OpenFileDecoder(path, false);
  return d ? DecodeWithIccProfile(*d, image::RGB24) : nullptr;
}

image::Texture* ReadJpegMemoryForCache(const uint8_t* data, size_t size) {
  Decoder d;
  d.data = data;
  d.size = size;
  if (!OpenDecoder(d, true)) return nullptr;
  return DecodeToTexture(d, image::RGB24);
}

image::Texture* ReadExifThumbnail(const char* path) {
  std::vector<uint8_t> profile;
  std::vector<uint8_t> bytes = ReadExifThumbnailData(path, &profile);
  if (bytes.empty()) return nullptr;
  image::Texture* thumbnail = ReadJpegMemoryForCache(bytes.data(), bytes.size());
  // The thumbnail has the colours of the picture, so it takes the picture's profile.
  if (thumbnail && !profile.empty())
    thumbnail->iccProfile = std::make_shared<const std::vector<uint8_t>>(std::move(profile));
  return thumbnail;
}

int SaveJPEG(const image::ChunkyImage* image, const char* path, int quality, bool optimize, bool noSubsampling,
             const SaveMetadata& metadata) {
  if (!image || !image->pixels || !path || !JpegSaveableFormat(image->format)) return 0;
  const JpegSections sections = PrepareMetadata(metadata);
  if (!image::SizeAllowed(image->width, image->height, image->format)) return 0;
  platform::SafeFile out(path, true);
  if (!out.file()) return 0;
  JpegSettings settings;
  settings.quality = quality;
  settings.optimize = optimize;
  settings.noSubsampling = noSubsampling;
  if (!EncodeJpeg(image, out.file(), settings, sections)) return 0;  // the temporary file goes, the old file stays
  return out.Commit() ? 1 : 0;
}

int SetSampleFactors(jpeg_compress_struct* compressor, const char* text) {
  if (!compressor || !compressor->comp_info || !text) return 0;
  const char* arg = text;
  for (int ci = 0; ci < MAX_COMPONENTS; ++ci) {
    jpeg_component_info& comp = compressor->comp_info[ci];
    if (!*arg) {
      comp.h_samp_factor = 1;
      comp.v_samp_factor = 1;
      continue;
    }
    long h = 0, v = 0;
    char ch2 = ',';
    if (!ScanInt(arg, h) || !*arg) return 0;
    const char ch1 = *arg++;
    if (!ScanInt(arg, v)) return 0;
    if (*arg) ch2 = *arg++;
    if ((ch1 != 'x' && ch1 != 'X') || ch2 != ',') return 0;
    if (h <= 0 || h > 4 || v <= 0 || v > 4) {
      std::fputs("JPEG sampling factors must be 1..4\n", stderr);
      return 0;
    }
    comp.h_samp_factor = static_cast<int>(h);
    comp.v_samp_factor = static_cast<int>(v);
  }
  return 1;
}

}  // namespace vl::formats
