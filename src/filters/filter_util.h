// Small helpers shared by the filter families: argument checks, a private copy of a source
// that is also the destination, and the 256-bin median histogram.
#pragma once

#include <array>
#include <cstdint>

#include "image/chunky.h"

namespace vl::filters::detail {

// True when the image has pixel memory and a positive size.
inline bool Usable(const image::ChunkyImage* c) {
  return c && c->pixels && c->width > 0 && c->height > 0 && image::SizeAllowed(c->width, c->height, c->format);
}

// True when both images are usable and share width, height and format.
inline bool SameShape(const image::ChunkyImage* a, const image::ChunkyImage* b) {
  return Usable(a) && Usable(b) && a->width == b->width && a->height == b->height && a->format == b->format;
}

// True when both images are usable ARGB32 images of the same size.
inline bool ArgbPair(const image::ChunkyImage* a, const image::ChunkyImage* b) {
  return SameShape(a, b) && a->format == image::ARGB32;
}

inline bool UsableARGB(const image::ChunkyImage* c) {
  return Usable(c) && c->format == image::ARGB32;
}

inline size_t PixelCount(const image::ChunkyImage* c) {
  return static_cast<size_t>(c->width) * static_cast<size_t>(c->height);
}

// The pixels a neighbourhood filter reads: the source itself, or a private copy of it when
// the caller passed the same image as destination (so results never feed later pixels).
class ReadCopy {
 public:
  ReadCopy(const image::ChunkyImage* source, const image::ChunkyImage* destination) {
    if (source == destination) {
      copy_.reset(image::chk_Duplicate(source));
      view_ = copy_.get();
    } else {
      view_ = source;
    }
  }
  // Null when the copy could not be made.
  const image::ChunkyImage* get() const { return view_; }

 private:
  image::ChunkyPtr copy_;
  const image::ChunkyImage* view_ = nullptr;
};

// 256 bins of 16-bit counts. TakeMedian walks the bins from 0, zeroing each one it passes,
// stops at the first value where the running count reaches count / 2 + 1 (the element at
// index count / 2 of the sorted entries), then zeroes the remaining bins.
class MedianHistogram {
 public:
  void Add(uint8_t v) { ++bins_[v]; }

  // count is the number of values added since the last call, and must be at least 1.
  uint8_t TakeMedian(int count) {
    const int target = count / 2 + 1;
    int running = 0;
    int v = 0;
    for (; v < 255; ++v) {
      running += bins_[v];
      bins_[v] = 0;
      if (running >= target) break;
    }
    const int median = v;
    for (; v < 256; ++v) bins_[v] = 0;
    return static_cast<uint8_t>(median);
  }

 private:
  std::array<uint16_t, 256> bins_{};
};

inline uint8_t ClampByte(int64_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace vl::filters::detail
