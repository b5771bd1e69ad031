// What every operation of edit/ shares.
//
// An operation has three parts:
// - <Op>Params: a plain struct of its parameters, with the defaults and the ranges that its
//   window offers;
// - Run<Op>(src, dst, params, stop): the pixels alone, free of the controller, so that a
//   worker thread can run it on private buffers. It returns true when dst holds the whole
//   result; false when the operation failed or was stopped (stop raised: the pieces of the
//   work not yet started are skipped and dst is incomplete, to be thrown away).
// - Apply<Op>(controller, params): the edit step that a tool window's "_Execute" and the
//   scripting port share: it takes the controller's images, runs the operation and
//   refreshes the display, answering 0 on success and 1 on failure. Operations of the same
//   size read the edit backup (BeginEdit) and write the current picture; the caller
//   commits or cancels. Operations that change the size replace the pixel buffer through
//   ReplaceChunky, which cannot be undone.
#pragma once

#include <cstdint>

#include "app/controller.h"
#include "image/chunky.h"
#include "platform/stop_flag.h"
#include "platform/thread_pool.h"

namespace vl::edit {

using platform::NeverStop;
using platform::StopFlag;

// A parameter's range and start value as its window shows it.
struct IntRange {
  int32_t min;
  int32_t max;
  int32_t start;
  constexpr bool Contains(int64_t v) const { return v >= min && v <= max; }
};

// The current picture's pixels, or null without a picture.
image::ChunkyImage* CurrentChunky(app::Controller& c);

// The in-place edit step: BeginEdit, then run(backup, current), then a display refresh.
// 1 without a picture or when no backup can be made; otherwise 0 when run succeeded.
template <typename RunFn>
int ApplyInPlace(app::Controller& c, RunFn run) {
  if (!CurrentChunky(c) || !c.BeginEdit()) return 1;
  const bool ok = run(*c.editBackup()->chunky, *CurrentChunky(c));
  c.RefreshDisplay();
  return ok ? 0 : 1;
}

// Runs fn (a filter that splits its rows over the thread pool) with stop in force: once it is
// raised, the pieces not yet started are skipped. True when fn succeeded and was not stopped.
template <typename Fn>
bool Stoppable(const StopFlag& stop, Fn fn) {
  platform::ScopedStopFlag scope(stop);
  const bool ok = fn();
  return ok && !stop.Requested();
}

// The in-place edit step of an operation whose Run takes its parameters.
template <typename Params, typename RunFn>
int ApplyRun(app::Controller& c, const Params& params, RunFn run) {
  return ApplyInPlace(
      c, [&](const image::ChunkyImage& src, image::ChunkyImage& dst) { return run(src, dst, params, NeverStop()); });
}

// Copies src's pixels into dst; false unless both have the same size and format.
bool CopyPixels(const image::ChunkyImage& src, image::ChunkyImage& dst);

// Exchanges the pixel buffers of a and b (no pixel is copied); false, with nothing changed,
// unless both have pixels of the same size and format.
bool SwapPixels(image::ChunkyImage& a, image::ChunkyImage& b);

}  // namespace vl::edit
