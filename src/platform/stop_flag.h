// A request to stop a running operation, raised from another thread and read between the
// pieces of the work.
#pragma once

#include <atomic>

namespace vl::platform {

class StopFlag {
 public:
  StopFlag() = default;
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;

  void Request() { raised_.store(true, std::memory_order_relaxed); }
  void Clear() { raised_.store(false, std::memory_order_relaxed); }
  bool Requested() const { return raised_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> raised_{false};
};

// A flag that is never raised, for callers that run an operation to its end.
inline const StopFlag& NeverStop() {
  static const StopFlag never;
  return never;
}

}  // namespace vl::platform
