// Resampling and the geometric transforms on a 24-megapixel picture (6000 x 4000).
#include <benchmark/benchmark.h>

#include "bench_util.h"
#include "image/geometry.h"
#include "image/resample.h"

namespace {

constexpr int kW = 6000, kH = 4000;

using vl::bench::MakePicture;
using vl::bench::SetMegapixels;

// Every kernel to a quarter of the area (half of each side); Lanczos is the one peers are
// compared on.
void BM_ScaleImageQuarter(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  state.SetLabel(vl::image::GetMethodInfo(method)->label);
  auto src = MakePicture(kW, kH);
  for (auto _ : state) {
    vl::image::ChunkyPtr out(vl::image::ScaleImage(src.get(), kW / 2, kH / 2, method));
    if (!out) state.SkipWithError("ScaleImage failed");
    benchmark::DoNotOptimize(out.get());
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_ScaleImageQuarter)
    ->ArgName("method")
    ->Arg(vl::image::kMethodLanczos)
    ->Arg(vl::image::kMethodBox)
    ->Arg(vl::image::kMethodMitchell)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_RotateClockwise(benchmark::State& state) {
  auto src = MakePicture(kW, kH);
  for (auto _ : state) {
    vl::image::ChunkyPtr out(vl::image::RotateClockwise(src.get()));
    if (!out) state.SkipWithError("RotateClockwise failed");
    benchmark::DoNotOptimize(out.get());
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_RotateClockwise)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Straighten(benchmark::State& state) {
  const bool fit = state.range(0) != 0;
  auto src = MakePicture(kW, kH);
  vl::image::ChunkyPtr dst(vl::image::chk_Create(kW, kH, vl::image::ARGB32, true));
  for (auto _ : state) {
    vl::image::Straighten(src.get(), dst.get(), 2.5f, fit);
    benchmark::DoNotOptimize(dst->pixels);
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_Straighten)->ArgName("scaleToFit")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
