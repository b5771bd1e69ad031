// The realtime preview of the Gaussian blur on a 24-megapixel picture (6000 x 4000) while its
// "Mask size:" slider is dragged across the range: 60 changes over 3 s. The calling thread
// stands in for the GUI's event loop: it requests a run at each change and otherwise drains the
// main-thread queue (where finished results are swapped into the shown picture) every
// millisecond. Reported, in milliseconds:
// - stall_max: the longest time the loop spent in any one step (a request or a drain), the
//   time the window would not answer;
// - final_after_last_change: from the last change until its result is shown (Finish);
// - cancel_stall: a Cancel() while a run is in flight (the run ends on its own, unseen);
// - destroy_stall: the end of the preview while a run is in flight (it joins the worker, which
//   waits for the run's next piece: a window destroyed amid a run);
// - backup_copy: the edit backup taken on the first change (one copy of the picture), once
//   per window session, outside the drag;
// and the number of results shown during the drag and the requests made.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "bench_util.h"
#include "edit/blur_ops.h"
#include "edit/operation.h"
#include "edit/realtime_preview.h"
#include "platform/main_thread_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
using vl::bench::MakePicture;

constexpr int kW = 6000, kH = 4000;
constexpr int kChanges = 60;
constexpr auto kDrag = std::chrono::milliseconds(3000);

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

vl::edit::RealtimePreview::Run Blur(float radius) {
  vl::edit::GaussianBlurParams p;
  p.radius = radius;
  return [p](const vl::image::ChunkyImage& src, vl::image::ChunkyImage& dst, const vl::edit::StopFlag& stop) {
    return vl::edit::RunGaussianBlur(src, dst, p, stop);
  };
}

void BM_RealtimeGaussianBlurDrag(benchmark::State& state) {
  auto original = MakePicture(kW, kH);
  vl::image::ChunkyPtr shown(vl::image::chk_Duplicate(original.get()));
  if (!original || !shown) {
    state.SkipWithError("no memory for the pictures");
    return;
  }
  for (auto _ : state) {
    const Clock::time_point copyStart = Clock::now();
    vl::image::ChunkyPtr backup(vl::image::chk_Duplicate(original.get()));
    const double backupCopy = Ms(Clock::now() - copyStart);

    vl::platform::SimpleMainThreadQueue queue;
    int results = 0;
    auto owned = std::make_unique<vl::edit::RealtimePreview>(queue, [&](vl::image::ChunkyImage& r) {
      if (vl::edit::SwapPixels(*shown, r)) ++results;
    });
    vl::edit::RealtimePreview& preview = *owned;
    Clock::duration stallMax{};
    auto step = [&stallMax](auto&& fn) {
      const Clock::time_point t = Clock::now();
      fn();
      stallMax = std::max(stallMax, Clock::now() - t);
    };

    const auto range = vl::edit::GaussianBlurParams::kMaskSize;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastChange{};
    bool finished = false;
    int made = 0;
    while (!finished) {
      const Clock::time_point now = Clock::now();
      if (made < kChanges && now >= start + kDrag * made / kChanges) {
        const int hundredths = range.min + (range.max - range.min) * made / (kChanges - 1);
        step([&] { preview.Request(*backup, Blur(static_cast<float>(hundredths) / 100.0f)); });
        ++made;
        if (made == kChanges) {
          lastChange = Clock::now();
          preview.Finish([&finished](bool) { finished = true; });
        }
      } else {
        step([&] { queue.RunPending(); });
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double finalAfter = Ms(Clock::now() - lastChange);
    const int shownDuringDrag = results;

    // A Cancel() while a run of the largest radius is well under way.
    preview.Request(*backup, Blur(static_cast<float>(range.max) / 100.0f));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point cancelStart = Clock::now();
    preview.Cancel();
    const double cancelStall = Ms(Clock::now() - cancelStart);

    preview.Request(*backup, Blur(static_cast<float>(range.max) / 100.0f));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point destroyStart = Clock::now();
    owned.reset();
    const double destroyStall = Ms(Clock::now() - destroyStart);

    state.counters["stall_max_ms"] = Ms(stallMax);
    state.counters["final_after_last_change_ms"] = finalAfter;
    state.counters["cancel_stall_ms"] = cancelStall;
    state.counters["destroy_stall_ms"] = destroyStall;
    state.counters["backup_copy_ms"] = backupCopy;
    state.counters["results_shown"] = shownDuringDrag;
    state.counters["requests"] = made;
  }
}
BENCHMARK(BM_RealtimeGaussianBlurDrag)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
