// One small pool of worker threads for splitting image work over rows or bands.
//
// ParallelFor cuts [begin, end) into contiguous pieces and runs fn(lo, hi) on each, on the
// calling thread and on the pool's workers, and returns when every piece is done. Each
// piece covers its own items, so work whose items are independent gives the same result
// however it is cut. Work of no more than `grain` items runs on the calling thread alone.
// Calls may come from several threads at once and may nest (a piece may call ParallelFor
// itself); the caller always works on its own job, so a nested call cannot wait forever.
// The workers start on first use and are joined when the program exits.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/stop_flag.h"

namespace vl::platform {

void ParallelFor(int64_t begin, int64_t end, int64_t grain, const std::function<void(int64_t, int64_t)>& fn);

// Threads that share one ParallelFor call: the calling thread plus the workers it may use.
// Starts as the number of hardware threads, or as the environment variable
// VISTALOOM_THREADS (1 to kMaxThreads) says; 1 runs every piece on the calling thread, in
// order, which is the plain serial path.
int ThreadCount();

// Threads a ParallelFor call made now by the calling thread may use: ThreadCount() within the
// calling thread's own limit (ScopedThreadLimit).
int ThreadsForCaller();

// Sets the thread count for every later call; n < 1 restores the hardware count. Values
// above kMaxThreads are limited to it.
inline constexpr int kMaxThreads = 64;
void SetThreadCount(int n);

// Sets the thread count for the life of the object and restores the previous one. With
// ignoreGrain set, work is split into pieces however small it is, so tests on tiny pictures
// still go through the threaded path.
class ScopedThreadCount {
 public:
  explicit ScopedThreadCount(int n, bool ignoreGrain = false);
  ~ScopedThreadCount();
  ScopedThreadCount(const ScopedThreadCount&) = delete;
  ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

 private:
  int previousCount_;
  bool previousIgnoreGrain_;
};

// Whether a ScopedThreadCount in force asks for threaded work however small it is (work that
// picks its own size threshold outside ParallelFor honours it too).
bool GrainIgnored();

// Limits the calling thread's own ParallelFor calls to at most n threads for the life of
// the object (other threads are not affected), for a thread that has started other work of
// its own in the background and leaves it a processor. Results stay the same.
class ScopedThreadLimit {
 public:
  explicit ScopedThreadLimit(int n);
  ~ScopedThreadLimit();
  ScopedThreadLimit(const ScopedThreadLimit&) = delete;
  ScopedThreadLimit& operator=(const ScopedThreadLimit&) = delete;

 private:
  int previous_;
};

// While the object lives, ParallelFor calls made by the calling thread (and the calls nested in
// their pieces) skip every piece not yet started once flag is raised, so a long operation ends
// early between pieces. The work is then incomplete: the caller checks the flag afterwards and
// throws the result away. With a flag in force, work runs in several pieces even on one thread.
class ScopedStopFlag {
 public:
  explicit ScopedStopFlag(const StopFlag& flag);
  ~ScopedStopFlag();
  ScopedStopFlag(const ScopedStopFlag&) = delete;
  ScopedStopFlag& operator=(const ScopedStopFlag&) = delete;

 private:
  const StopFlag* previous_;
};

// Whether the stop flag in force on this thread (if any) is raised.
bool StopRequested();

// Items per piece that keep a piece worth handing to another thread: rows of `itemCost`
// units of work (e.g. bytes or pixels of a row) grouped up to about 64 Ki units.
int64_t GrainFor(int64_t itemCost);

}  // namespace vl::platform
