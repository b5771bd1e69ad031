// JPEG of any name through libjpeg: grey, YCbCr and RGB to ARGB, CMYK and YCCK (Adobe
// files store them inverted) converted to RGB. A file that ends before the picture is
// complete is refused.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "formats/decoders.h"
#include "formats/icc_profile.h"
#include "formats/jpeg_codec.h"
#include "formats/picture_metadata.h"

namespace vl::formats {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  // Premature end of data is a warning to libjpeg, which then fills in grey; refuse it.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnError(cinfo);
}

bool ReadJpegData(jpeg_decompress_struct& cinfo, ErrorManager& err, const uint8_t* data, size_t size,
                  DecodedPicture& out, std::vector<uint8_t>& row) {
  if (setjmp(err.jump)) return false;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  KeepJpegIccMarkers(&cinfo);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  out.iccProfile = JpegIccProfile(&cinfo);
  int64_t w = cinfo.image_width, h = cinfo.image_height;
  if (!image::SizeAllowed(w, h, image::ARGB32) || !decode::Plausible(w, h, size, kJpegMaxPixelsPerByte)) return false;
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_ARGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_width != w || cinfo.output_height != h || cinfo.output_components != 4) return false;
  if (!decode::AllocatePixels(out, w, h, 24)) return false;
  uint8_t* px = out.pixels->pixels;
  bool inverted = cinfo.saw_Adobe_marker;
  if (cmyk) row.resize(static_cast<size_t>(w) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* dst = px + static_cast<size_t>(cinfo.output_scanline) * w * 4;
    JSAMPROW rows[1] = {cmyk ? row.data() : dst};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) return false;
    if (!cmyk) continue;
    for (int64_t x = 0; x < w; ++x) {
      const uint8_t* s = row.data() + x * 4;
      decode::PutArgb(dst + x * 4, 255, CmykChannel(s[0], s[3], inverted), CmykChannel(s[1], s[3], inverted),
                      CmykChannel(s[2], s[3], inverted));
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

bool SniffJpeg(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffJpeg(data, size)) return false;
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnError;
  err.base.emit_message = OnMessage;
  std::vector<uint8_t> row;
  bool ok = ReadJpegData(cinfo, err, data, size, out, row);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) {
    out = DecodedPicture();
    return false;
  }
  out.typeName = "JPEG";
  out.exifBlock = FindJpegExifBlock(data, size);
  return true;
}

}  // namespace vl::formats
