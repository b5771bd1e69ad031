#include "platform/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vl::platform {

namespace {

// The hardware thread count, or VISTALOOM_THREADS when it holds a whole number from 1 to
// kMaxThreads (anything else is ignored); read once.
int HardwareThreads() {
  static const int count = [] {
    if (const char* text = std::getenv("VISTALOOM_THREADS")) {
      int n = 0;
      const char* p = text;
      while (*p >= '0' && *p <= '9' && n <= kMaxThreads) n = n * 10 + (*p++ - '0');
      if (*p == '\0' && p != text && n >= 1 && n <= kMaxThreads) return n;
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min<unsigned>(n, kMaxThreads));
  }();
  return count;
}

std::atomic<int> gThreadCount{0};  // 0: the hardware count
std::atomic<bool> gIgnoreGrain{false};

thread_local const StopFlag* t_stopFlag = nullptr;  // the flag in force on this thread

struct Job {
  const std::function<void(int64_t, int64_t)>* fn = nullptr;
  const StopFlag* stop = nullptr;
  int64_t begin = 0;
  int64_t end = 0;
  int64_t pieceSize = 0;
  int64_t pieces = 0;
  std::atomic<int64_t> next{0};
  std::mutex mutex;
  std::condition_variable finished;
  int64_t done = 0;  // guarded by mutex
  std::exception_ptr error;

  // Claims and runs pieces until none is left; once the job's stop flag is raised, the
  // pieces still unclaimed are counted as done without running.
  void RunPieces() {
    const StopFlag* const outer = t_stopFlag;
    t_stopFlag = stop;  // calls nested in a piece see the job's flag
    for (;;) {
      const int64_t index = next.fetch_add(1);
      if (index >= pieces) break;
      const int64_t lo = begin + index * pieceSize;
      const int64_t hi = std::min(end, lo + pieceSize);
      std::exception_ptr caught;
      try {
        if (!stop || !stop->Requested()) (*fn)(lo, hi);
      } catch (...) {
        caught = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex);
      if (caught && !error) error = caught;
      if (++done == pieces) finished.notify_all();
    }
    t_stopFlag = outer;
  }
};

class Pool {
 public:
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  void Run(const std::shared_ptr<Job>& job, int helpers) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (static_cast<int>(workers_.size()) < helpers) workers_.emplace_back([this] { WorkerLoop(); });
      queue_.push_back(job);
    }
    for (int i = 0; i < helpers; ++i) wake_.notify_one();
    job->RunPieces();
    {
      std::unique_lock<std::mutex> lock(job->mutex);
      job->finished.wait(lock, [&] { return job->done == job->pieces; });
    }
    Remove(job);
    if (job->error) std::rethrow_exception(job->error);
  }

 private:
  void Remove(const std::shared_ptr<Job>& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(queue_.begin(), queue_.end(), job);
    if (it != queue_.end()) queue_.erase(it);
  }

  void WorkerLoop() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, nothing left
        job = queue_.front();
        // A job whose pieces are all claimed leaves the queue; its caller waits for the rest.
        if (job->next.load() >= job->pieces) {
          queue_.pop_front();
          continue;
        }
      }
      job->RunPieces();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::vector<std::thread> workers_;
  bool stop_ = false;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

int ThreadCount() {
  const int n = gThreadCount.load();
  return n > 0 ? n : HardwareThreads();
}

void SetThreadCount(int n) {
  gThreadCount.store(n < 1 ? 0 : std::min(n, kMaxThreads));
}

ScopedThreadCount::ScopedThreadCount(int n, bool ignoreGrain)
    : previousCount_(gThreadCount.load()), previousIgnoreGrain_(gIgnoreGrain.load()) {
  SetThreadCount(n);
  gIgnoreGrain.store(ignoreGrain);
}

ScopedThreadCount::~ScopedThreadCount() {
  gThreadCount.store(previousCount_);
  gIgnoreGrain.store(previousIgnoreGrain_);
}

bool GrainIgnored() {
  return gIgnoreGrain.load();
}

namespace {
thread_local int t_threadLimit = 0;  // 0: no limit of this thread's own
}  // namespace

ScopedThreadLimit::ScopedThreadLimit(int n) : previous_(t_threadLimit) {
  t_threadLimit = std::clamp(n, 1, kMaxThreads);
}

ScopedThreadLimit::~ScopedThreadLimit() {
  t_threadLimit = previous_;
}

ScopedStopFlag::ScopedStopFlag(const StopFlag& flag) : previous_(t_stopFlag) {
  t_stopFlag = &flag;
}

ScopedStopFlag::~ScopedStopFlag() {
  t_stopFlag = previous_;
}

bool StopRequested() {
  return t_stopFlag && t_stopFlag->Requested();
}

int64_t GrainFor(int64_t itemCost) {
  constexpr int64_t kPieceCost = 65536;
  if (itemCost <= 0) return kPieceCost;
  return std::max<int64_t>(1, kPieceCost / itemCost);
}

int ThreadsForCaller() {
  return t_threadLimit > 0 ? std::min(ThreadCount(), t_threadLimit) : ThreadCount();
}

void ParallelFor(int64_t begin, int64_t end, int64_t grain, const std::function<void(int64_t, int64_t)>& fn) {
  if (end <= begin) return;
  const int64_t n = end - begin;
  const int threads = ThreadsForCaller();
  const bool ignoreGrain = gIgnoreGrain.load();
  if (grain < 1) grain = 1;
  const StopFlag* const stop = t_stopFlag;
  if (stop && stop->Requested()) return;
  if (threads <= 1 || (!ignoreGrain && n <= grain)) {
    if (!stop) {
      fn(begin, end);
      return;
    }
    // One thread, in order, in a few pieces so that a stop request is seen between them.
    const int64_t pieceSize = std::max(grain, (n + 7) / 8);
    for (int64_t lo = begin; lo < end && !stop->Requested(); lo += pieceSize) fn(lo, std::min(end, lo + pieceSize));
    return;
  }
  // A few pieces per thread even out rows of unequal cost.
  int64_t pieces = std::min<int64_t>(n, int64_t{threads} * 4);
  if (!ignoreGrain) pieces = std::min(pieces, (n + grain - 1) / grain);
  if (pieces <= 1) {
    fn(begin, end);
    return;
  }
  auto job = std::make_shared<Job>();
  job->fn = &fn;
  job->stop = stop;
  job->begin = begin;
  job->end = end;
  job->pieceSize = (n + pieces - 1) / pieces;
  job->pieces = (n + job->pieceSize - 1) / job->pieceSize;
  ThePool().Run(job, threads - 1);
}

}  // namespace vl::platform
