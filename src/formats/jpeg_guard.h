// Error handling for libjpeg calls: fatal codec errors leave the library through a non-local
// exit (longjmp) back to Guarded(). The code that runs inside Guarded() keeps no object with a
// destructor on its own stack, so the jump skips nothing that needs cleaning up. Each codec
// context has its own SilentError, so contexts on different threads never share one.
#pragma once

#include <csetjmp>
#include <cstdio>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace vl::formats {

struct SilentError {
  jpeg_error_mgr pub;
  std::jmp_buf exit;
};

[[noreturn]] inline void SilentErrorExit(j_common_ptr cinfo) {
  SilentError* err = reinterpret_cast<SilentError*>(cinfo->err);
  std::longjmp(err->exit, 1);
}

inline void SilentOutputMessage(j_common_ptr) {}

// Fatal errors jump back to Guarded(); warnings and messages are dropped.
inline void InstallSilentErrors(SilentError& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = SilentErrorExit;
  err.pub.output_message = SilentOutputMessage;
  err.pub.trace_level = 10;
}

// Runs step with the exit point set; false when the codec gave a fatal error on the way.
template <class Step>
bool Guarded(SilentError& err, Step&& step) {
  if (setjmp(err.exit)) return false;
  step();
  return true;
}

}  // namespace vl::formats
