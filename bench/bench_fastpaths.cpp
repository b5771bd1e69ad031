// The operations split over the thread pool, each with one thread (the serial path) and
// with every hardware thread: the second argument of each benchmark is the thread count
// (0 = hardware). Each reports megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "display/renderer.h"
#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/rank.h"
#include "filters/sharpen.h"
#include "filters/tone.h"
#include "image/chunky.h"
#include "image/geometry.h"
#include "image/pool.h"
#include "image/resample.h"
#include "platform/thread_pool.h"

namespace {

using vl::image::ChunkyImage;
using vl::image::ChunkyPtr;

// A repeatable pseudo-random ARGB32 picture with some smooth structure, so that medians
// and blurs do realistic work.
ChunkyPtr Picture(int w, int h) {
  ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::ARGB32, false));
  if (!img) return img;
  uint32_t s = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s ^= s << 13, s ^= s >> 17, s ^= s << 5;
      uint8_t* p = img->pixels + (static_cast<size_t>(y) * w + x) * 4;
      p[0] = 255;
      p[1] = static_cast<uint8_t>(x + (s & 15));
      p[2] = static_cast<uint8_t>(y + ((s >> 4) & 15));
      p[3] = static_cast<uint8_t>((x ^ y) + ((s >> 8) & 31));
    }
  return img;
}

void Rate(benchmark::State& state, int w, int h) {
  state.counters["MP/s"] =
      benchmark::Counter(static_cast<double>(w) * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

constexpr int kW = 5120, kH = 2880;    // the size of the JPEG decode benchmark
constexpr int kSW = 2560, kSH = 1440;  // for the slow neighbourhood filters

void BM_ScaleLanczosQuarter(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  for (auto _ : state) {
    ChunkyPtr out(vl::image::ScaleImage(src.get(), kW / 4, kH / 4, vl::image::kMethodLanczos));
    benchmark::DoNotOptimize(out.get());
  }
  Rate(state, kW, kH);
}

// The serial reference passes (one column at a time in the vertical pass), for comparison.
void BM_ScaleLanczosQuarterPlain(benchmark::State& state) {
  vl::image::PoolScope pool;
  ChunkyPtr src = Picture(kW, kH);
  const vl::image::MethodInfo* info = vl::image::GetMethodInfo(vl::image::kMethodLanczos);
  for (auto _ : state) {
    ChunkyPtr out(vl::image::chk_Create(kW / 4, kH / 4, vl::image::ARGB32, false));
    vl::image::ResamplePlain(out.get(), src.get(), info->kernel, info->support);
    benchmark::DoNotOptimize(out.get());
  }
  Rate(state, kW, kH);
}

void BM_GaussianBlur10(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr img = Picture(kSW, kSH);
  for (auto _ : state) {
    vl::filters::GaussianBlur(img.get(), 10.0f, vl::filters::kColourAndAlpha);
    benchmark::ClobberMemory();
  }
  Rate(state, kSW, kSH);
}

void BM_BoxBlur(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  ChunkyPtr dst = Picture(kW, kH);
  for (auto _ : state) {
    vl::filters::BoxBlur(src.get(), dst.get(), 5, 5);
    benchmark::ClobberMemory();
  }
  Rate(state, kW, kH);
}

void BM_Sharpen(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  ChunkyPtr dst = Picture(kW, kH);
  for (auto _ : state) {
    vl::filters::Sharpen(src.get(), dst.get(), 2, 0.5);
    benchmark::ClobberMemory();
  }
  Rate(state, kW, kH);
}

void BM_Median2(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kSW, kSH);
  ChunkyPtr dst = Picture(kSW, kSH);
  for (auto _ : state) {
    vl::filters::MedianFilter(src.get(), dst.get(), 2, false);
    benchmark::ClobberMemory();
  }
  Rate(state, kSW, kSH);
}

void BM_Levels(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  ChunkyPtr dst = Picture(kW, kH);
  for (auto _ : state) {
    vl::filters::Levels(src.get(), dst.get(), 20, 230, vl::filters::kColourOnly);
    benchmark::ClobberMemory();
  }
  Rate(state, kW, kH);
}

void BM_ContrastGamma(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  ChunkyPtr dst = Picture(kW, kH);
  for (auto _ : state) {
    vl::filters::ContrastGamma(src.get(), dst.get(), 1.3f, 0.9f, vl::filters::kColourOnly);
    benchmark::ClobberMemory();
  }
  Rate(state, kW, kH);
}

void BM_RotateClockwise(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  for (auto _ : state) {
    ChunkyPtr out(vl::image::RotateClockwise(src.get()));
    benchmark::DoNotOptimize(out.get());
  }
  Rate(state, kW, kH);
}

void BM_Straighten(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  ChunkyPtr dst = Picture(kW, kH);
  for (auto _ : state) {
    vl::image::Straighten(src.get(), dst.get(), 3.5f, true);
    benchmark::ClobberMemory();
  }
  Rate(state, kW, kH);
}

// One whole 3840 x 2160 frame of a 24-megapixel picture; range(1) is 1 for bilinear.
void BM_RenderFrame4K(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(6000, 4000);
  vl::display::Renderer rd;
  rd.state().options.progressive = false;
  rd.state().options.bilinear = state.range(1) != 0;
  rd.state().options.zoomToFit = rd.state().options.shrinkToFit = true;
  rd.state().SetArea(3840, 2160);
  rd.state().SetImage(src.get());
  for (auto _ : state) {
    rd.Command(vl::display::kRenderNowCommand);
    benchmark::DoNotOptimize(rd.buffer().data());
  }
  Rate(state, 3840, 2160);
}

void BM_QuickScale(benchmark::State& state) {
  vl::image::PoolScope pool;
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  ChunkyPtr src = Picture(kW, kH);
  for (auto _ : state) {
    state.PauseTiming();
    ChunkyPtr img(vl::image::chk_Duplicate(src.get()));
    state.ResumeTiming();
    vl::image::QuickScale(img.get(), 1600, 900);
    benchmark::DoNotOptimize(img.get());
  }
  Rate(state, 1600, 900);
}

#define THREAD_ARGS ->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_ScaleLanczosQuarter) THREAD_ARGS;
BENCHMARK(BM_ScaleLanczosQuarterPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GaussianBlur10) THREAD_ARGS;
BENCHMARK(BM_BoxBlur) THREAD_ARGS;
BENCHMARK(BM_Sharpen) THREAD_ARGS;
BENCHMARK(BM_Median2) THREAD_ARGS;
BENCHMARK(BM_Levels) THREAD_ARGS;
BENCHMARK(BM_ContrastGamma) THREAD_ARGS;
BENCHMARK(BM_RotateClockwise) THREAD_ARGS;
BENCHMARK(BM_Straighten) THREAD_ARGS;
BENCHMARK(BM_QuickScale) THREAD_ARGS;
BENCHMARK(BM_RenderFrame4K)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
