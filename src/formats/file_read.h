// Reading regular files: opening without blocking on FIFOs or devices, whole files up to a
// limit, and the first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace vl::formats {

// An allocator whose resize leaves new elements uninitialised: for buffers that are written
// whole right after (a file read into memory), where clearing them first is wasted work.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept(noexcept(::new (static_cast<void*>(p)) U)) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    std::allocator_traits<std::allocator<T>>::construct(static_cast<std::allocator<T>&>(*this), p,
                                                        std::forward<Args>(args)...);
  }
};

// The bytes of a whole file.
using FileBytes = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

// Opens a regular file for reading (assign names resolved) without blocking on FIFOs or
// devices. Null when it is missing or not a regular file.
FILE* OpenRegularFile(const char* path);
// Reads a whole regular file of at most maxBytes bytes (as large as it was when opened). False
// on any fault, a file that shrinks while it is read included; out is then empty.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes);
bool ReadWholeFile(const char* path, FileBytes& out, uint64_t maxBytes);
// Reads up to count bytes from the start of a regular file; false when it cannot be read.
bool ReadFileStart(const char* path, uint8_t* buffer, size_t count, size_t& got);

}  // namespace vl::formats
