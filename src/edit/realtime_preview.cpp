#include "edit/realtime_preview.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vl::edit {

namespace {
bool SameShape(const image::ChunkyImage& a, const image::ChunkyImage& b) {
  return a.width == b.width && a.height == b.height && a.format == b.format;
}
}  // namespace

struct RealtimePreview::State {
  State(platform::MainThreadQueue& q, Deliver d) : queue(q), deliver(std::move(d)) {}

  struct Job {
    uint64_t generation;
    const image::ChunkyImage* source;
    Run run;
  };

  // A private buffer of source's shape: a spare one, or null when there is none. Under lock.
  image::ChunkyPtr TakeSpare(const image::ChunkyImage& source);
  void Work();
  // Pushes a Drain() unless one is queued already. Called without the lock.
  void QueueDrain();
  // On the queue's thread: delivers the ready result and reports to Finish().
  void Drain();
  void CheckFinish();

  // The worker's copy of source, made unless it has one; null when Cancel() came meanwhile
  // or memory ran out. Called without the lock.
  std::shared_ptr<const image::ChunkyImage> CopyOf(const image::ChunkyImage* source);

  platform::MainThreadQueue& queue;
  Deliver deliver;  // used on the queue's thread only
  Done done;        // the same
  std::weak_ptr<State> self;

  mutable std::mutex lock;
  std::condition_variable wake;    // for the worker: a run waits, or quit
  std::condition_variable copied;  // for Cancel(): the worker no longer reads the caller's source
  std::thread worker;
  bool quit = false;

  std::optional<Job> waiting;
  bool running = false;
  platform::StopFlag stop;  // the run in flight's
  // What the runs read: a copy of the caller's source, taken by the worker once per session.
  const image::ChunkyImage* copiedFrom = nullptr;
  std::shared_ptr<const image::ChunkyImage> copy;
  bool copying = false;
  platform::StopFlag cancelCopy;  // raised by Cancel() only: a newer request still needs the copy

  uint64_t requested = 0;  // the newest generation
  uint64_t dropped = 0;    // Cancel() dropped every generation up to this one
  uint64_t shown = 0;      // the generation delivered last
  uint64_t failed = 0;     // the newest generation whose run failed
  image::ChunkyPtr ready;  // a finished result waiting for Drain()
  uint64_t readyGeneration = 0;
  bool drainQueued = false;
  std::vector<image::ChunkyPtr> spare;
};

image::ChunkyPtr RealtimePreview::State::TakeSpare(const image::ChunkyImage& source) {
  while (!spare.empty()) {
    image::ChunkyPtr b = std::move(spare.back());
    spare.pop_back();
    if (b && SameShape(*b, source)) return b;
  }
  return nullptr;
}

std::shared_ptr<const image::ChunkyImage> RealtimePreview::State::CopyOf(const image::ChunkyImage* source) {
  std::unique_lock<std::mutex> l(lock);
  if (copy && copiedFrom == source) return copy;
  copying = true;
  cancelCopy.Clear();
  l.unlock();
  // In slices, so that Cancel() waits for one slice at the most.
  constexpr size_t kSlice = size_t{4} << 20;
  std::shared_ptr<image::ChunkyImage> made(image::chk_Create(source->width, source->height, source->format, false),
                                           image::ChunkyDeleter());
  if (made && made->pixels) {
    const size_t bytes = image::BufferBytes(source->width, source->height, source->format);
    for (size_t at = 0; at < bytes && !cancelCopy.Requested(); at += kSlice)
      std::memcpy(made->pixels + at, source->pixels + at, std::min(kSlice, bytes - at));
  } else {
    made.reset();
  }
  l.lock();
  copying = false;
  copied.notify_all();
  if (cancelCopy.Requested() || !made) return nullptr;
  copiedFrom = source;
  copy = made;
  return copy;
}

void RealtimePreview::State::Work() {
  std::unique_lock<std::mutex> l(lock);
  for (;;) {
    wake.wait(l, [this] { return quit || waiting; });
    if (quit) return;
    Job job = std::move(*waiting);
    waiting.reset();
    running = true;
    stop.Clear();
    image::ChunkyPtr buffer = TakeSpare(*job.source);
    l.unlock();

    std::shared_ptr<const image::ChunkyImage> source = CopyOf(job.source);
    if (source && !buffer) buffer.reset(image::chk_Create(source->width, source->height, source->format, false));
    const bool ok = source && buffer && job.run(*source, *buffer, stop);
    job.run = nullptr;
    source.reset();

    l.lock();
    const bool stopped = stop.Requested();
    running = false;
    bool report = false;
    if (job.generation > dropped && !stopped) {
      if (!ok) {
        failed = std::max(failed, job.generation);
        report = true;
      } else if (job.generation > shown && job.generation > readyGeneration) {
        std::swap(ready, buffer);
        readyGeneration = job.generation;
        report = true;
      }
    }
    // Cancel() freed the spare buffers of the session; this one goes as well.
    if (buffer && job.generation > dropped) spare.push_back(std::move(buffer));
    if (buffer) {
      l.unlock();
      buffer.reset();
      l.lock();
    }
    if (report && !drainQueued) {
      drainQueued = true;
      l.unlock();
      QueueDrain();
      l.lock();
    }
  }
}

void RealtimePreview::State::QueueDrain() {
  queue.Push([weak = self] {
    if (std::shared_ptr<State> s = weak.lock()) s->Drain();
  });
}

void RealtimePreview::State::Drain() {
  std::unique_lock<std::mutex> l(lock);
  drainQueued = false;
  image::ChunkyPtr result;
  const uint64_t generation = readyGeneration;
  if (ready && generation > shown) result = std::move(ready);
  if (ready) spare.push_back(std::move(ready));
  l.unlock();

  if (result) {
    deliver(*result);
    l.lock();
    shown = std::max(shown, generation);
    // A Cancel() from the callback freed the spare buffers; this one goes as well.
    if (generation > dropped) spare.push_back(std::move(result));
    l.unlock();
  }
  CheckFinish();
}

void RealtimePreview::State::CheckFinish() {
  if (!done) return;
  std::unique_lock<std::mutex> l(lock);
  const bool allShown = shown >= requested;
  const bool newestFailed = !allShown && failed >= requested;
  l.unlock();
  if (!allShown && !newestFailed) return;
  Done d = std::move(done);
  done = nullptr;
  d(allShown);
}

RealtimePreview::RealtimePreview(platform::MainThreadQueue& queue, Deliver deliver)
    : state_(std::make_shared<State>(queue, std::move(deliver))) {
  state_->self = state_;
}

RealtimePreview::~RealtimePreview() {
  // The worker is joined: a run in flight is waited for until its next piece.
  Cancel();
  {
    std::lock_guard<std::mutex> g(state_->lock);
    state_->quit = true;
  }
  state_->wake.notify_all();
  if (state_->worker.joinable()) state_->worker.join();
}

void RealtimePreview::Request(const image::ChunkyImage& source, Run run) {
  State& s = *state_;
  std::unique_lock<std::mutex> l(s.lock);
  const uint64_t generation = ++s.requested;
  const int64_t pixels = int64_t{source.width} * source.height;
  if (pixels <= kInlinePixels && !s.running && !s.waiting) {
    image::ChunkyPtr buffer = s.TakeSpare(source);
    l.unlock();
    if (!buffer) buffer.reset(image::chk_Create(source.width, source.height, source.format, false));
    const bool ok = buffer && run(source, *buffer, platform::NeverStop());
    if (ok) s.deliver(*buffer);
    l.lock();
    if (ok)
      s.shown = std::max(s.shown, generation);
    else
      s.failed = std::max(s.failed, generation);
    if (buffer && generation > s.dropped) s.spare.push_back(std::move(buffer));
    l.unlock();
    s.CheckFinish();
    return;
  }
  s.waiting = State::Job{generation, &source, std::move(run)};
  if (s.running) s.stop.Request();
  if (!s.worker.joinable()) s.worker = std::thread([&s] { s.Work(); });
  l.unlock();
  s.wake.notify_one();
}

void RealtimePreview::Finish(Done done) {
  state_->done = std::move(done);
  state_->CheckFinish();
}

void RealtimePreview::Cancel() {
  State& s = *state_;
  std::vector<image::ChunkyPtr> freed;
  std::shared_ptr<const image::ChunkyImage> copy;
  {
    std::unique_lock<std::mutex> l(s.lock);
    s.waiting.reset();
    s.dropped = s.requested;
    if (s.running) s.stop.Request();
    s.cancelCopy.Request();
    s.copied.wait(l, [&s] { return !s.copying; });
    copy = std::move(s.copy);
    s.copiedFrom = nullptr;
    freed.swap(s.spare);
    if (s.ready) freed.push_back(std::move(s.ready));
  }
  s.done = nullptr;
  // The buffers go here, outside the lock; a run still in flight keeps the copy it reads.
}

bool RealtimePreview::Idle() const {
  std::lock_guard<std::mutex> g(state_->lock);
  return !state_->running && !state_->waiting;
}

uint64_t RealtimePreview::requested() const {
  std::lock_guard<std::mutex> g(state_->lock);
  return state_->requested;
}

uint64_t RealtimePreview::shown() const {
  std::lock_guard<std::mutex> g(state_->lock);
  return state_->shown;
}

}  // namespace vl::edit
