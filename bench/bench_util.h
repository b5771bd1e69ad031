// Pictures the benchmarks make for themselves, and the megapixels-per-second counter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "image/chunky.h"
#include "image/pool.h"

namespace vl::bench {

// The pixel pool for the whole program.
inline image::PoolScope g_pool;

// A photo-like ARGB32 picture: smooth gradients with a repeatable grain, opaque.
inline image::ChunkyPtr MakePicture(int32_t width, int32_t height, uint32_t seed = 1) {
  image::ChunkyPtr img(image::chk_Create(width, height, image::ARGB32, false));
  if (!img) return img;
  uint32_t s = seed * 2654435761u + 1;
  uint8_t* p = img->pixels;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x, p += 4) {
      s = s * 1664525u + 1013904223u;
      int grain = static_cast<int>(s >> 28) - 8;
      int r = (x * 255) / width + grain, g = (y * 255) / height + grain,
          b = ((x + y) * 127) / (width + height) + 64 + grain;
      p[0] = 255;
      p[1] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
      p[2] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
      p[3] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
    }
  }
  return img;
}

// Reports the pixels one iteration handles as megapixels per second.
inline void SetMegapixels(benchmark::State& state, double pixels) {
  state.counters["MP/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace vl::bench
