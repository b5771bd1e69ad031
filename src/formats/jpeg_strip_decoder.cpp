// Every library call runs inside Guarded() (jpeg_guard.h) on the strip's own thread, with the
// strip's own error manager. What a strip owns lives in a Strip freed by its destructor, in the
// frame that calls DecodeStrip().
#include "formats/jpeg_strip_decoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "formats/jpeg_guard.h"
#include "image/pool.h"
#include "platform/prefault.h"
#include "platform/thread_pool.h"

namespace vl::formats {
namespace {

std::atomic<int64_t> gStripDecodes{0};

struct Strip {
  jpeg_decompress_struct cinfo{};
  SilentError err{};
  bool created = false;
  uint8_t* scratch = nullptr;

  Strip() = default;
  Strip(const Strip&) = delete;
  Strip& operator=(const Strip&) = delete;
  ~Strip() {
    if (created) jpeg_destroy_decompress(&cinfo);
    image::Free(scratch);
  }
};

// Files whose rows a second decompressor can skip to: one sequential Huffman-coded scan, decoded
// to full-size rows without colour quantisation.
bool Suitable(const jpeg_decompress_struct& d) {
  return !d.progressive_mode && !d.arith_code && !d.buffered_image && !d.raw_data_out && !d.quantize_colors &&
         d.comps_in_scan == d.num_components && d.output_scanline == 0 && d.output_width > 0 && d.output_height > 0 &&
         d.output_width == d.image_width && d.output_height == d.image_height && d.max_h_samp_factor > 0 &&
         d.max_v_samp_factor > 0 && d.min_DCT_scaled_size > 0;
}

// Decodes rows [first, end) of the picture with a decompressor of its own; the last strip reads
// the file to its end. False on a fatal error or a warning on the way.
bool DecodeStrip(Strip& s, const jpeg_decompress_struct& opened, const uint8_t* data, size_t size, int first, int end,
                 bool last, const JpegStripOutput& out) {
  InstallSilentErrors(s.err);
  s.cinfo.err = &s.err.pub;
  bool ok = false;
  const bool survived = Guarded(s.err, [&] {
    s.created = true;
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = opened.mem->max_memory_to_use;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    s.cinfo.out_color_space = opened.out_color_space;
    s.cinfo.scale_num = opened.scale_num;
    s.cinfo.scale_denom = opened.scale_denom;
    s.cinfo.dct_method = opened.dct_method;
    s.cinfo.do_fancy_upsampling = opened.do_fancy_upsampling;
    s.cinfo.do_block_smoothing = opened.do_block_smoothing;
    s.cinfo.quantize_colors = FALSE;
    s.cinfo.dither_mode = opened.dither_mode;
    s.cinfo.output_gamma = opened.output_gamma;
    s.cinfo.buffered_image = FALSE;
    s.cinfo.raw_data_out = FALSE;
    jpeg_start_decompress(&s.cinfo);
    if (s.cinfo.output_width != opened.output_width || s.cinfo.output_height != opened.output_height ||
        s.cinfo.output_components != opened.output_components || !Suitable(s.cinfo))
      return;
    const long warnings = s.err.pub.num_warnings;
    if (first > 0) jpeg_skip_scanlines(&s.cinfo, static_cast<JDIMENSION>(first));
    if (s.cinfo.output_scanline != static_cast<JDIMENSION>(first)) return;
    // The strip's rows of the new picture, faulted in at once rather than page by page.
    platform::PrefaultForWriting(out.pixels + static_cast<size_t>(first) * out.stride,
                                 static_cast<size_t>(end - first) * out.stride);
    while (s.cinfo.output_scanline < static_cast<JDIMENSION>(end)) {
      uint8_t* row = out.pixels + static_cast<size_t>(s.cinfo.output_scanline) * out.stride;
      JSAMPROW rows[1] = {out.scratch ? s.scratch : row};
      if (jpeg_read_scanlines(&s.cinfo, rows, 1) != 1) return;
      if (out.finishRow) out.finishRow(out.context, rows[0], row);
    }
    if (last)
      jpeg_finish_decompress(&s.cinfo);
    else
      jpeg_abort_decompress(&s.cinfo);
    ok = s.err.pub.num_warnings == warnings;
  });
  return survived && ok;
}

}  // namespace

std::vector<int> JpegStripStarts(int imcuRows, int strips, double entropyShare) {
  std::vector<int> starts;
  if (strips < 1 || imcuRows < strips) return starts;
  // Strip k costs share x start_k + rows_k; equal costs T give start_{k+1} = (1 - share) x
  // start_k + T, so start_k = T x (1 - (1 - share)^k) / share with start_n = imcuRows.
  const double keep = 1.0 - std::clamp(entropyShare, 0.0, 0.95);
  const double total = 1.0 - std::pow(keep, strips);
  starts.reserve(static_cast<size_t>(strips));
  for (int k = 0; k < strips; ++k) {
    const double ideal =
        keep >= 1.0 ? static_cast<double>(imcuRows) * k / strips : imcuRows * (1.0 - std::pow(keep, k)) / total;
    int start = static_cast<int>(std::lround(ideal));
    if (k > 0) start = std::max(start, starts.back() + 1);
    start = std::min(start, imcuRows - (strips - k));  // room for one iMCU row in each later strip
    starts.push_back(k == 0 ? 0 : start);
  }
  return starts;
}

double JpegEntropyShare(double codedBytes, double pixels, double blocksPerPixel) {
  // Nanoseconds on one core, fitted to the decodes of five photographs: 8.5 per coded byte;
  // 1.0 per pixel plus 30 per 8 x 8 block.
  constexpr double kPerByte = 8.5, kPerPixel = 1.0, kPerBlock = 30.0;
  const double entropy = kPerByte * std::max(codedBytes, 0.0);
  const double rest = std::max(pixels, 1.0) * (kPerPixel + kPerBlock * std::max(blocksPerPixel, 0.0));
  return entropy / (entropy + rest);
}

int64_t JpegStripDecodes() {
  return gStripDecodes.load();
}

JpegStripResult DecodeJpegStrips(const jpeg_decompress_struct& opened, const uint8_t* data, size_t size,
                                 const JpegStripOutput& out) {
  const int threads = platform::ThreadsForCaller();
  if (threads < 2 || !data || size == 0 || !out.pixels || !Suitable(opened)) return JpegStripResult::kNotUsed;
  const int height = static_cast<int>(opened.output_height);
  const int64_t pixels = int64_t{opened.output_width} * height;
  if (pixels < kJpegStripMinPixels && !platform::GrainIgnored()) return JpegStripResult::kNotUsed;
  const int imcuHeight = opened.max_v_samp_factor * opened.min_DCT_scaled_size;
  const int imcuRows = (height + imcuHeight - 1) / imcuHeight;
  const int strips = std::min(threads, imcuRows);
  if (strips < 2) return JpegStripResult::kNotUsed;
  // The memory source holds the rest of the file from the scan on: the coded data.
  const double coded = opened.src ? static_cast<double>(opened.src->bytes_in_buffer) : static_cast<double>(size);
  double blocks = 0;
  for (int c = 0; c < opened.num_components; ++c)
    blocks += opened.comp_info[c].h_samp_factor * opened.comp_info[c].v_samp_factor;
  blocks /= 64.0 * opened.max_h_samp_factor * opened.max_v_samp_factor;
  const double share = JpegEntropyShare(coded, static_cast<double>(pixels), blocks);
  const std::vector<int> starts = JpegStripStarts(imcuRows, strips, share);
  if (static_cast<int>(starts.size()) != strips) return JpegStripResult::kNotUsed;
  const size_t scratchBytes = static_cast<size_t>(opened.output_width) * static_cast<size_t>(opened.output_components);

  // 0: not run (a stop request skipped it), 1: decoded, 2: failed.
  std::vector<uint8_t> status(static_cast<size_t>(strips), 0);
  platform::ParallelFor(0, strips, 1, [&](int64_t lo, int64_t hi) {
    for (int64_t k = lo; k < hi; ++k) {
      const int first = starts[static_cast<size_t>(k)] * imcuHeight;
      const int end = k + 1 < strips ? starts[static_cast<size_t>(k + 1)] * imcuHeight : height;
      Strip strip;
      if (out.scratch) strip.scratch = static_cast<uint8_t*>(image::Allocate(scratchBytes));
      const bool ok = (!out.scratch || strip.scratch) &&
                      DecodeStrip(strip, opened, data, size, first, std::min(end, height), k + 1 == strips, out);
      status[static_cast<size_t>(k)] = ok ? 1 : 2;
    }
  });
  const bool all = std::all_of(status.begin(), status.end(), [](uint8_t s) { return s == 1; });
  if (!all) return JpegStripResult::kFailed;
  gStripDecodes.fetch_add(1);
  return JpegStripResult::kDecoded;
}

}  // namespace vl::formats
