// "Push a request that the GUI task runs": workers and renderers hand small jobs to the
// main thread. The GUI drains it from its event loop; the headless mode drains it itself.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace vl::platform {

class MainThreadQueue {
 public:
  virtual ~MainThreadQueue() = default;
  virtual void Push(std::function<void()> job) = 0;
};

// A plain queue drained with RunPending() on the thread that owns it.
class SimpleMainThreadQueue : public MainThreadQueue {
 public:
  void Push(std::function<void()> job) override;
  // Runs every job queued so far; returns how many ran.
  int RunPending();

 private:
  std::mutex lock_;
  std::deque<std::function<void()>> jobs_;
};

}  // namespace vl::platform
