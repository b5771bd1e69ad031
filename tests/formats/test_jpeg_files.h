// Test JPEG files and EXIF blocks, made with libjpeg and byte by byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>

namespace vl::test {

using Bytes = std::vector<uint8_t>;

struct JpegParams {
  int width = 16;
  int height = 16;
  int components = 3;          // 1 grey, 3 RGB, 4 CMYK (with an Adobe marker)
  J_COLOR_SPACE in = JCS_RGB;  // JCS_GRAYSCALE, JCS_RGB, JCS_CMYK, JCS_UNKNOWN
  int quality = 95;
  int hSamp = 2, vSamp = 2;  // luma sampling (4:2:0 by default)
  bool progressive = false;
  int restartInterval = 0;  // MCUs between restart markers (0: none)
};

// Encodes pixels (width x height x components bytes) with libjpeg.
Bytes EncodeJpeg(const JpegParams& params, const Bytes& pixels);

// Decodes with libjpeg as the reference: output in the file's colour space (RGB, grey or the
// raw CMYK bytes), 1/1 scale, the given DCT method. Empty on failure.
struct Decoded {
  int width = 0;
  int height = 0;
  int components = 0;
  Bytes pixels;
  int hSamp[3] = {};
  int vSamp[3] = {};
  int quant0 = 0;  // first value of the first quantisation table
};
Decoded DecodeReference(const Bytes& jpeg, J_DCT_METHOD method = JDCT_ISLOW);

// A smooth, repeatable test pattern of width x height x components bytes.
Bytes Pattern(int width, int height, int components);

// Inserts a section (marker and payload; the length field is added) right after SOI.
Bytes InsertSection(const Bytes& jpeg, int marker, const Bytes& payload);

// A TIFF block in either byte order with directories laid out one after another.
class Tiff {
 public:
  explicit Tiff(bool motorola);
  bool motorola() const { return mm_; }

  struct Entry {
    uint16_t tag;
    uint16_t format;
    uint32_t count;
    Bytes value;                 // encoded in the block's byte order; up to 4 bytes stay in the entry
    bool rawValueField = false;  // value holds exactly the 4 bytes of the value field
  };
  Entry Short(uint16_t tag, uint16_t v) const;
  Entry Long(uint16_t tag, uint32_t v) const;
  Entry Rational(uint16_t tag, uint32_t num, uint32_t den) const;
  Entry Ascii(uint16_t tag, const std::string& text) const;  // with its NUL
  Entry Undefined(uint16_t tag, const Bytes& bytes) const;
  // An entry whose value field holds v as it is (a link or a deliberate bad pointer).
  Entry Raw(uint16_t tag, uint16_t format, uint32_t count, uint32_t v) const;

  // Appends a directory (its values follow its next-link) and returns its offset.
  uint32_t AddIfd(const std::vector<Entry>& entries, uint32_t next = 0);
  // Offsets of an entry's value field and of a directory's next-link, for patching links.
  static uint32_t ValueField(uint32_t ifd, int index) { return ifd + 2 + 12 * index + 8; }
  uint32_t NextField(uint32_t ifd) const;
  void Patch32(uint32_t at, uint32_t v);
  uint32_t Append(const Bytes& bytes);  // returns the offset
  void SetFirstIfd(uint32_t offset) { Patch32(4, offset); }

  Bytes Enc16(uint16_t v) const;
  Bytes Enc32(uint32_t v) const;
  const Bytes& bytes() const { return data_; }
  // "Exif\0\0" and the block: the APP1 payload.
  Bytes App1Payload() const;

 private:
  bool mm_;
  Bytes data_;
};

// A small RGB JPEG with the EXIF payload inserted.
Bytes JpegWithExif(const Bytes& app1Payload);

// Captures standard output and standard error of the calls made in between.
class CaptureStreams {
 public:
  CaptureStreams();
  ~CaptureStreams();
  // Stops capturing (once) and returns what was written.
  void Stop();
  const std::string& out();
  const std::string& err();

 private:
  bool stopped_ = false;
  std::string out_, err_;
};

}  // namespace vl::test
