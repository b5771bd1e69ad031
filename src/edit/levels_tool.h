// What the Levels window needs beside the operation: the histogram of the picture it works
// on, and the rules that keep its "Minimum:" and "Maximum" a pair the Levels table can use.
#pragma once

#include <array>
#include <cstdint>

#include "edit/tone_ops.h"
#include "image/chunky.h"

namespace vl::edit {

// The channels a histogram counts: the four bytes of an ARGB32 pixel, and the luminance
// (299 R + 587 G + 114 B) / 1000 that the automatic levels measure.
enum HistogramChannel : int {
  kHistogramAlpha = 0,
  kHistogramRed = 1,
  kHistogramGreen = 2,
  kHistogramBlue = 3,
  kHistogramLuminance = 4,
};
inline constexpr int kHistogramChannels = 5;

struct Histogram {
  // bins[channel][v]: how many pixels have the value v in the channel.
  std::array<std::array<uint64_t, 256>, kHistogramChannels> bins{};
  uint64_t pixels = 0;

  // The largest count of the channel; 0 for an empty histogram.
  uint64_t Peak(int channel) const;
  // The smallest and largest value that occurs in the channel; false for an empty histogram.
  bool Range(int channel, int& lowest, int& highest) const;
};

// The histogram of an ARGB32 picture; any other format gives an empty one. The rows are
// counted on the thread pool; the counts do not depend on how they are split.
Histogram CountHistogram(const image::ChunkyImage& picture);

// After one of low and high moved (lowMoved tells which), the other gives way so that
// low < high, by one level; at the end of the range the moved one steps back instead.
void KeepLevelsApart(LevelsParams& params, bool lowMoved);

// "_Auto": low and high measured on src for params.mode (ResolveLevels), kept apart as after a
// move of low, so that a picture of a single level gives a step at that level. False, with
// params unchanged, when src has nothing to measure (not ARGB32).
bool AutoLevelsFrom(const image::ChunkyImage& src, LevelsParams& params);

}  // namespace vl::edit
