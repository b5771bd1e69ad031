// Faulting in fresh memory that is about to be written, in one call rather than one page
// fault per page: for the threads that each fill their own part of a big new buffer.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace vl::platform {

// Asks the kernel to map the whole pages inside [data, data + bytes) writable now. Only a
// hint: kernels without it, and any failure, leave the pages to be faulted in as they are
// touched. The bytes are not changed.
inline void PrefaultForWriting(void* data, size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
  constexpr uintptr_t kPage = 4096;
  uintptr_t lo = reinterpret_cast<uintptr_t>(data);
  uintptr_t hi = lo + bytes;
  lo = (lo + kPage - 1) & ~(kPage - 1);
  hi &= ~(kPage - 1);
  if (hi > lo) static_cast<void>(::madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_WRITE));
#else
  static_cast<void>(data);
  static_cast<void>(bytes);
#endif
}

}  // namespace vl::platform
