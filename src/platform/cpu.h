// What the processor offers beyond the baseline, asked once: the hand-written vector loops
// run only where these say yes, the plain loops everywhere else.
#pragma once

namespace vl::platform {

inline bool CpuHasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

inline bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace vl::platform
