// The filters on a 12-megapixel picture (4000 x 3000): blurs, sharpening, the median and
// the lookup-table tone operations. Each reports the source megapixels per second of real
// time, since the filters split their work over threads.
#include <benchmark/benchmark.h>

#include "bench_util.h"
#include "filters/alpha_mode.h"
#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/rank.h"
#include "filters/sharpen.h"
#include "filters/tone.h"

namespace {

constexpr int kW = 4000, kH = 3000;

using vl::bench::MakePicture;
using vl::bench::SetMegapixels;

void BM_GaussianBlurRadius10(benchmark::State& state) {
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr work(vl::image::chk_Duplicate(src.get()));
  for (auto _ : state) {
    if (!vl::filters::GaussianBlur(work.get(), 10.0f, vl::filters::kColourAndAlpha))
      state.SkipWithError("GaussianBlur failed");
    benchmark::DoNotOptimize(work->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_GaussianBlurRadius10)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same with the colour bytes only (3) and alpha only (1).
void BM_GaussianBlurRadius10Mode(benchmark::State& state) {
  const auto mode = static_cast<vl::filters::AlphaMode>(state.range(0));
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr work(vl::image::chk_Duplicate(src.get()));
  for (auto _ : state) {
    if (!vl::filters::GaussianBlur(work.get(), 10.0f, mode)) state.SkipWithError("GaussianBlur failed");
    benchmark::DoNotOptimize(work->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_GaussianBlurRadius10Mode)->ArgName("mode")->Arg(3)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_BoxBlur(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    if (!vl::filters::BoxBlur(src.get(), dst.get(), radius, radius)) state.SkipWithError("BoxBlur failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_BoxBlur)->Arg(2)->Arg(10)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Sharpen(benchmark::State& state) {
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    if (!vl::filters::Sharpen(src.get(), dst.get(), 3, 0.5)) state.SkipWithError("Sharpen failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_Sharpen)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MedianFilterRadius2(benchmark::State& state) {
  const bool circular = state.range(0) != 0;
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    if (!vl::filters::MedianFilter(src.get(), dst.get(), 2, circular)) state.SkipWithError("MedianFilter failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_MedianFilterRadius2)->ArgName("circular")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The Median tool's other radii and methods, rectangular mask.
void BM_NeighbourhoodFilter(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const int radius = static_cast<int>(state.range(1));
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    const bool ok = method == 0   ? vl::filters::MinimumFilter(src.get(), dst.get(), radius, false)
                    : method == 1 ? vl::filters::MaximumFilter(src.get(), dst.get(), radius, false)
                                  : vl::filters::MedianFilter(src.get(), dst.get(), radius, false);
    if (!ok) state.SkipWithError("filter failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_NeighbourhoodFilter)
    ->ArgNames({"method", "radius"})
    ->Args({0, 5})
    ->Args({1, 5})
    ->Args({2, 1})
    ->Args({2, 3})
    ->Args({2, 4})
    ->Args({2, 5})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Levels(benchmark::State& state) {
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    if (!vl::filters::Levels(src.get(), dst.get(), 20, 230, vl::filters::kColourOnly))
      state.SkipWithError("Levels failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_Levels)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ContrastGamma(benchmark::State& state) {
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, false));
  for (auto _ : state) {
    if (!vl::filters::ContrastGamma(src.get(), dst.get(), 1.2f, 0.8f, vl::filters::kColourOnly))
      state.SkipWithError("ContrastGamma failed");
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_ContrastGamma)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
