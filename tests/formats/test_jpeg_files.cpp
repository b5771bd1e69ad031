#include "test_jpeg_files.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>

namespace vl::test {
namespace {

struct TestError {
  jpeg_error_mgr pub;
  std::jmp_buf exit;
};

[[noreturn]] void TestErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TestError*>(cinfo->err)->exit, 1);
}
void Quiet(j_common_ptr) {}

}  // namespace

Bytes EncodeJpeg(const JpegParams& params, const Bytes& pixels) {
  jpeg_compress_struct c{};
  TestError err{};
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = TestErrorExit;
  err.pub.output_message = Quiet;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(err.exit)) {
    jpeg_destroy_compress(&c);
    std::free(out);
    return {};
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(params.width);
  c.image_height = static_cast<JDIMENSION>(params.height);
  c.input_components = params.components;
  c.in_color_space = params.in;
  jpeg_set_defaults(&c);
  if (params.in == JCS_UNKNOWN) jpeg_set_colorspace(&c, JCS_UNKNOWN);
  jpeg_set_quality(&c, params.quality, TRUE);
  c.comp_info[0].h_samp_factor = params.hSamp;
  c.comp_info[0].v_samp_factor = params.vSamp;
  c.restart_interval = static_cast<unsigned int>(params.restartInterval);
  if (params.progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  const size_t stride = static_cast<size_t>(params.width) * params.components;
  for (int y = 0; y < params.height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + y * stride);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes result(out, out + size);
  std::free(out);
  return result;
}

Decoded DecodeReference(const Bytes& jpeg, J_DCT_METHOD method) {
  Decoded d;
  jpeg_decompress_struct c{};
  TestError err{};
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = TestErrorExit;
  err.pub.output_message = Quiet;
  if (setjmp(err.exit)) {
    jpeg_destroy_decompress(&c);
    return Decoded();
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&c, TRUE);
  c.dct_method = method;
  for (int i = 0; i < 3 && i < c.num_components; ++i) {
    d.hSamp[i] = c.comp_info[i].h_samp_factor;
    d.vSamp[i] = c.comp_info[i].v_samp_factor;
  }
  if (c.quant_tbl_ptrs[0]) d.quant0 = c.quant_tbl_ptrs[0]->quantval[0];
  jpeg_start_decompress(&c);
  d.width = static_cast<int>(c.output_width);
  d.height = static_cast<int>(c.output_height);
  d.components = c.output_components;
  d.pixels.resize(static_cast<size_t>(d.width) * d.height * d.components);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = d.pixels.data() + static_cast<size_t>(c.output_scanline) * d.width * d.components;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return d;
}

Bytes Pattern(int width, int height, int components) {
  Bytes p(static_cast<size_t>(width) * height * components);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        p[(static_cast<size_t>(y) * width + x) * components + c] = static_cast<uint8_t>(
            (x * 255 / (width > 1 ? width - 1 : 1) * (c + 1) + y * 255 / (height > 1 ? height - 1 : 1) * (3 - c % 3)) /
            4);
  return p;
}

Bytes InsertSection(const Bytes& jpeg, int marker, const Bytes& payload) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const size_t len = payload.size() + 2;
  out.push_back(0xFF);
  out.push_back(static_cast<uint8_t>(marker));
  out.push_back(static_cast<uint8_t>(len >> 8));
  out.push_back(static_cast<uint8_t>(len & 0xFF));
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Tiff::Tiff(bool motorola) : mm_(motorola) {
  if (mm_) {
    data_ = {'M', 'M'};
  } else {
    data_ = {'I', 'I'};
  }
  Bytes magic = Enc16(42);
  data_.insert(data_.end(), magic.begin(), magic.end());
  Bytes first = Enc32(8);
  data_.insert(data_.end(), first.begin(), first.end());
}

Bytes Tiff::Enc16(uint16_t v) const {
  return mm_ ? Bytes{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}
             : Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

Bytes Tiff::Enc32(uint32_t v) const {
  Bytes b{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
  if (!mm_) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
  return b;
}

Tiff::Entry Tiff::Short(uint16_t tag, uint16_t v) const {
  return {tag, 3, 1, Enc16(v)};
}
Tiff::Entry Tiff::Long(uint16_t tag, uint32_t v) const {
  return {tag, 4, 1, Enc32(v)};
}
Tiff::Entry Tiff::Rational(uint16_t tag, uint32_t num, uint32_t den) const {
  Bytes b = Enc32(num), d = Enc32(den);
  b.insert(b.end(), d.begin(), d.end());
  return {tag, 5, 1, b};
}
Tiff::Entry Tiff::Ascii(uint16_t tag, const std::string& text) const {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return {tag, 2, static_cast<uint32_t>(b.size()), b};
}
Tiff::Entry Tiff::Undefined(uint16_t tag, const Bytes& bytes) const {
  return {tag, 7, static_cast<uint32_t>(bytes.size()), bytes};
}
Tiff::Entry Tiff::Raw(uint16_t tag, uint16_t format, uint32_t count, uint32_t v) const {
  return {tag, format, count, Enc32(v), true};
}

uint32_t Tiff::AddIfd(const std::vector<Entry>& entries, uint32_t next) {
  const uint32_t start = static_cast<uint32_t>(data_.size());
  const uint32_t valuesAt = start + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  Bytes dir = Enc16(static_cast<uint16_t>(entries.size()));
  Bytes values;
  for (const Entry& e : entries) {
    Bytes t = Enc16(e.tag), f = Enc16(e.format), n = Enc32(e.count);
    dir.insert(dir.end(), t.begin(), t.end());
    dir.insert(dir.end(), f.begin(), f.end());
    dir.insert(dir.end(), n.begin(), n.end());
    if (e.rawValueField || e.value.size() <= 4) {
      Bytes v = e.value;
      v.resize(4, 0);
      dir.insert(dir.end(), v.begin(), v.end());
    } else {
      Bytes off = Enc32(valuesAt + static_cast<uint32_t>(values.size()));
      dir.insert(dir.end(), off.begin(), off.end());
      values.insert(values.end(), e.value.begin(), e.value.end());
      if (values.size() % 2) values.push_back(0);
    }
  }
  Bytes nx = Enc32(next);
  dir.insert(dir.end(), nx.begin(), nx.end());
  data_.insert(data_.end(), dir.begin(), dir.end());
  data_.insert(data_.end(), values.begin(), values.end());
  return start;
}

uint32_t Tiff::NextField(uint32_t ifd) const {
  const unsigned count = mm_ ? (data_[ifd] << 8) | data_[ifd + 1] : (data_[ifd + 1] << 8) | data_[ifd];
  return ifd + 2 + 12 * count;
}

void Tiff::Patch32(uint32_t at, uint32_t v) {
  Bytes b = Enc32(v);
  std::memcpy(data_.data() + at, b.data(), 4);
}

uint32_t Tiff::Append(const Bytes& bytes) {
  const uint32_t at = static_cast<uint32_t>(data_.size());
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return at;
}

Bytes Tiff::App1Payload() const {
  Bytes p{'E', 'x', 'i', 'f', 0, 0};
  p.insert(p.end(), data_.begin(), data_.end());
  return p;
}

Bytes JpegWithExif(const Bytes& app1Payload) {
  JpegParams params;
  params.width = 8;
  params.height = 8;
  return InsertSection(EncodeJpeg(params, Pattern(8, 8, 3)), 0xE1, app1Payload);
}

CaptureStreams::CaptureStreams() {
  std::fflush(stdout);
  std::fflush(stderr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
}

CaptureStreams::~CaptureStreams() {
  Stop();
}

void CaptureStreams::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::fflush(stdout);
  std::fflush(stderr);
  out_ = ::testing::internal::GetCapturedStdout();
  err_ = ::testing::internal::GetCapturedStderr();
}

const std::string& CaptureStreams::out() {
  Stop();
  return out_;
}

const std::string& CaptureStreams::err() {
  Stop();
  return err_;
}

}  // namespace vl::test
