// Pixel memory allocator: one process-wide, thread-safe pool.
//
// Every block carries a 16-byte header right before the caller's data: the marker
// 0xDEADBEEF in its first 32-bit word and the requested size in its second. Data is
// 16-byte aligned. Free() ignores null, a missing pool, and any pointer the pool did
// not hand out. DeletePool() frees every block still held.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::image {

inline constexpr uint32_t kBlockMarker = 0xDEADBEEFu;
inline constexpr size_t kBlockHeader = 16;

bool CreatePool();
void DeletePool();
bool PoolExists();

// A block whose bytes read as zero, like fresh memory (a kept block is cleared first).
void* Allocate(size_t size);
// Every byte zero: a fresh block comes already cleared from the system, a kept one is cleared once.
void* AllocateZeroed(size_t count, size_t size);
// For a caller that writes every byte before it reads any: a kept block comes as it was left,
// so none of it is cleared. Never hand such a block to code that reads before it writes.
void* AllocateForOverwrite(size_t size);
void Free(void* ptr);

// Number of blocks currently held by the pool (for leak checks).
size_t PoolBlockCount();

// For tests of the out-of-memory paths: the next `successes` allocations are served and every
// one after them fails, until a negative value lifts the limit (the default).
void FailAllocationsAfter(long successes);

// Keeps the pool alive for a scope (start-up and tests).
class PoolScope {
 public:
  PoolScope() { CreatePool(); }
  ~PoolScope() { DeletePool(); }
  PoolScope(const PoolScope&) = delete;
  PoolScope& operator=(const PoolScope&) = delete;
};

}  // namespace vl::image
