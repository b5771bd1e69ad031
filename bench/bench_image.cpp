// Whole-buffer conversions of a 24-megapixel picture.
#include <benchmark/benchmark.h>

#include <vector>

#include "image/chunky.h"

namespace {

constexpr int kW = 6000, kH = 4000;

void BM_RGB24ToARGB32InPlace(benchmark::State& state) {
  std::vector<uint8_t> buf(static_cast<size_t>(kW) * kH * 4, 0x5A);
  for (auto _ : state) {
    vl::image::ConvertRGB24ToARGB32(buf.data(), buf.data(), kW, kH);
    benchmark::DoNotOptimize(buf.data());
  }
  state.counters["MP/s"] =
      benchmark::Counter(static_cast<double>(kW) * kH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RGB24ToARGB32InPlace)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ARGB32ToRGB24(benchmark::State& state) {
  std::vector<uint8_t> src(static_cast<size_t>(kW) * kH * 4, 0x5A), dst(static_cast<size_t>(kW) * kH * 3);
  for (auto _ : state) {
    vl::image::ConvertARGB32ToRGB24(src.data(), dst.data(), kW, kH);
    benchmark::DoNotOptimize(dst.data());
  }
  state.counters["MP/s"] =
      benchmark::Counter(static_cast<double>(kW) * kH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ARGB32ToRGB24)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
