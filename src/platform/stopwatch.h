// Stopwatches for load, save and filter timings.
#pragma once

#include <chrono>

namespace vl::platform {

class Stopwatch {
 public:
  void Start() { start_ = std::chrono::steady_clock::now(); }
  // Seconds since Start(), microsecond resolution, times factor, in single precision.
  float Elapsed(float factor = 1.0f) const {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
    return static_cast<float>(static_cast<double>(us) / 1e6) * factor;
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The two process-wide stopwatches: the first times image loading, the second saving
// and some filters.
Stopwatch& LoadStopwatch();
Stopwatch& SaveStopwatch();

}  // namespace vl::platform
