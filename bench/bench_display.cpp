// One display frame of 3840 x 2160 rendered row by row from a 24-megapixel picture, fitted
// to the area, nearest neighbour and bilinear; then the same at 1:1 zoom (a 4K crop). The
// same frames once more through the renderer, which splits the rows over the thread pool
// (real time counts there, as everywhere). The counter is frame megapixels per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_util.h"
#include "display/display.h"
#include "display/renderer.h"
#include "display/row_renderer.h"

namespace {

constexpr int kImageW = 6000, kImageH = 4000;
constexpr int kAreaW = 3840, kAreaH = 2160;

void BM_RenderFrame(benchmark::State& state) {
  const bool bilinear = state.range(0) != 0;
  const bool fit = state.range(1) != 0;
  auto img = vl::bench::MakePicture(kImageW, kImageH);
  vl::display::DisplayState d;
  vl::display::DisplayOptions o;
  o.bilinear = bilinear;
  o.zoomToFit = fit;
  o.shrinkToFit = fit;
  d.SetArea(kAreaW, kAreaH);
  d.ApplyOptions(o);
  d.SetImage(img.get());
  d.ComputeScale();
  d.ComputeRects();
  state.SetLabel(d.UsesBilinear() ? "bilinear" : "nearest");
  std::vector<uint8_t> frame(static_cast<size_t>(kAreaW) * kAreaH * 3);
  for (auto _ : state) {
    for (int r = 0; r < kAreaH; ++r) RenderRow(d, r, frame.data() + static_cast<size_t>(r) * kAreaW * 3);
    benchmark::DoNotOptimize(frame.data());
  }
  vl::bench::SetMegapixels(state, double(kAreaW) * kAreaH);
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"bilinear", "fit"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_RendererFrame(benchmark::State& state) {
  const bool bilinear = state.range(0) != 0;
  auto img = vl::bench::MakePicture(kImageW, kImageH);
  vl::display::Renderer renderer;
  vl::display::DisplayState& d = renderer.state();
  vl::display::DisplayOptions o;
  o.bilinear = bilinear;
  o.zoomToFit = o.shrinkToFit = true;
  o.progressive = false;
  d.SetArea(kAreaW, kAreaH);
  d.ApplyOptions(o);
  d.SetImage(img.get());
  renderer.Command(vl::display::kRenderNowCommand);  // the buffer is allocated once
  state.SetLabel(d.UsesBilinear() ? "bilinear" : "nearest");
  for (auto _ : state) {
    renderer.Command(vl::display::kRenderNowCommand);
    benchmark::DoNotOptimize(renderer.buffer().data());
  }
  vl::bench::SetMegapixels(state, double(kAreaW) * kAreaH);
}
BENCHMARK(BM_RendererFrame)->ArgName("bilinear")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
