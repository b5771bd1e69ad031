#include "edit/levels_tool.h"

#include <algorithm>
#include <vector>

#include "platform/thread_pool.h"

namespace vl::edit {

uint64_t Histogram::Peak(int channel) const {
  if (channel < 0 || channel >= kHistogramChannels) return 0;
  const auto& b = bins[static_cast<size_t>(channel)];
  return *std::max_element(b.begin(), b.end());
}

bool Histogram::Range(int channel, int& lowest, int& highest) const {
  if (channel < 0 || channel >= kHistogramChannels || pixels == 0) return false;
  const auto& b = bins[static_cast<size_t>(channel)];
  lowest = 0;
  while (lowest < 255 && b[static_cast<size_t>(lowest)] == 0) ++lowest;
  highest = 255;
  while (highest > 0 && b[static_cast<size_t>(highest)] == 0) --highest;
  return true;
}

Histogram CountHistogram(const image::ChunkyImage& picture) {
  Histogram h;
  if (picture.format != image::ARGB32 || !picture.pixels || picture.width <= 0 || picture.height <= 0) return h;
  const int64_t rows = picture.height;
  const size_t rowBytes = static_cast<size_t>(picture.width) * 4;
  // One set of counts per band of rows, added up in band order afterwards.
  const int64_t bands = std::min<int64_t>(rows, platform::ThreadCount());
  std::vector<Histogram> partial(static_cast<size_t>(bands));
  platform::ParallelFor(0, bands, 1, [&](int64_t first, int64_t last) {
    for (int64_t band = first; band < last; ++band) {
      auto& bins = partial[static_cast<size_t>(band)].bins;
      const int64_t y0 = rows * band / bands, y1 = rows * (band + 1) / bands;
      const uint8_t* p = picture.pixels + static_cast<size_t>(y0) * rowBytes;
      const uint8_t* end = picture.pixels + static_cast<size_t>(y1) * rowBytes;
      for (; p < end; p += 4) {
        ++bins[kHistogramAlpha][p[0]];
        ++bins[kHistogramRed][p[1]];
        ++bins[kHistogramGreen][p[2]];
        ++bins[kHistogramBlue][p[3]];
        ++bins[kHistogramLuminance][(299 * p[1] + 587 * p[2] + 114 * p[3]) / 1000];
      }
    }
  });
  for (const Histogram& part : partial)
    for (size_t c = 0; c < h.bins.size(); ++c)
      for (size_t v = 0; v < 256; ++v) h.bins[c][v] += part.bins[c][v];
  h.pixels = static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height);
  return h;
}

void KeepLevelsApart(LevelsParams& p, bool lowMoved) {
  constexpr int32_t kTop = LevelsParams::kHigh.max, kBottom = LevelsParams::kLow.min;
  if (p.low < p.high) return;
  if (lowMoved) {
    p.high = p.low + 1;
    if (p.high > kTop) {
      p.high = kTop;
      p.low = kTop - 1;
    }
  } else {
    p.low = p.high - 1;
    if (p.low < kBottom) {
      p.low = kBottom;
      p.high = kBottom + 1;
    }
  }
}

bool AutoLevelsFrom(const image::ChunkyImage& src, LevelsParams& p) {
  LevelsParams measured = p;
  measured.autoLevels = true;
  ResolveLevels(src, measured);
  // Nothing measured (no ARGB32 pixels): the pair stays.
  if (measured.low > measured.high) return false;
  p.low = measured.low;
  p.high = measured.high;
  KeepLevelsApart(p, true);
  return true;
}

}  // namespace vl::edit
