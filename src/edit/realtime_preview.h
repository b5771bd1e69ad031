// The realtime preview of a tool window: an operation's Run on a worker thread, from an
// untouched source into a private buffer, with the finished result handed to the thread that
// drains the main-thread queue.
//
// The worker copies the caller's source once per session (until Cancel()) and every run reads
// that copy, so that the caller may free its source as soon as Cancel() returns while a run is
// still on its way to the next piece of its work.
//
// At most one run is in flight and at most one waits. Request() makes the new run the waiting
// one (a run still waiting is dropped unstarted) and raises the stop flag of the run in flight,
// which then ends between the pieces of its work and is thrown away. Every request gets the next
// generation; a finished result goes through the queue to the deliver callback only when it is
// newer than the one shown last, so a superseded run never overwrites a newer result. Between
// two drains of the queue, a newer finished result replaces an older one not yet delivered.
//
// The deliver callback gets the private buffer (the source's size and format) and may swap its
// pixels with the shown picture's (edit::SwapPixels): the buffer then holds the old pixels and
// serves a later run, so no result is copied on the queue's thread.
//
// Finish() is the wait for the final parameters (a tool window's "_Execute"): its callback runs
// on the queue's thread once the newest request's result has been delivered (true) or that run
// failed (false). Nothing blocks on a run: the callback runs at once when the result is shown
// already, or later from the queue.
//
// Cancel() drops the waiting run, any result not yet delivered and the Finish callback, raises
// the stop flag of the run in flight (which ends at its next piece, unseen) and frees the copy
// and the private buffers. It waits only while the worker is copying the source, for one slice
// of the copy at the most. The destructor does the same and joins the worker thread, which
// waits for a run in flight to reach its next piece.
//
// Sources of no more than kInlinePixels pixels run on the calling thread when nothing is in
// flight: their run costs less than the trip to the worker and back, and the result is shown
// before Request() returns.
//
// Request(), Finish() and Cancel() are called on the queue's thread, which is also where the
// callbacks run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "image/chunky.h"
#include "platform/main_thread_queue.h"
#include "platform/stop_flag.h"

namespace vl::edit {

class RealtimePreview {
 public:
  // One run: fills dst (the size and format of src) from src. False when it failed or when
  // stop was raised (dst is then incomplete).
  using Run =
      std::function<bool(const image::ChunkyImage& src, image::ChunkyImage& dst, const platform::StopFlag& stop)>;
  // Gets a finished result, the newest so far.
  using Deliver = std::function<void(image::ChunkyImage& result)>;
  // Gets the outcome of Finish().
  using Done = std::function<void(bool shown)>;

  static constexpr int64_t kInlinePixels = 64 * 64;

  RealtimePreview(platform::MainThreadQueue& queue, Deliver deliver);
  ~RealtimePreview();
  RealtimePreview(const RealtimePreview&) = delete;
  RealtimePreview& operator=(const RealtimePreview&) = delete;

  // Runs run on source. The caller keeps source alive and unchanged until Cancel() or the
  // destructor has returned; every request of a session names the same source.
  void Request(const image::ChunkyImage& source, Run run);
  // Calls done once everything requested is shown (true) or the newest run failed (false).
  // A later Finish() replaces a callback that has not run yet.
  void Finish(Done done);
  // Stops and drops everything (see above) and frees the private buffers.
  void Cancel();

  // No run in flight and none waiting (a finished result may still wait for the queue).
  bool Idle() const;
  // The newest request's generation (0 before the first).
  uint64_t requested() const;
  // The generation of the result delivered last (0 before the first).
  uint64_t shown() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace vl::edit
