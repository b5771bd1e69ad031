#include "image/pool.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>
#include <vector>

namespace vl::image {
namespace {

// Freed blocks of a picture's size are kept for the next picture of about the same size:
// the C library would unmap them, and the kernel would fault in and clear every page of the
// next one again (clearing it here is cheaper than the faults). At most kKeptBlocks blocks and kKeptBytes bytes are
// kept; a kept block is no longer one of the pool's blocks (freeing it again is ignored). Builds with AddressSanitizer
// keep nothing, so it still sees every use after free.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kKeepBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kKeepBlocks = false;
#else
constexpr bool kKeepBlocks = true;
#endif
#else
constexpr bool kKeepBlocks = true;
#endif
constexpr size_t kKeptBlockMin = size_t{16} << 20;
constexpr size_t kKeptBlocks = 2;
constexpr size_t kKeptBytes = size_t{256} << 20;

struct KeptBlock {
  void* block;
  size_t bytes;
};

struct Pool {
  std::mutex lock;
  std::unordered_set<void*> blocks;  // block starts (header addresses)
  std::vector<KeptBlock> kept;
  size_t keptBytes = 0;
};

inline size_t TotalBytes(size_t size) {
  return (size + kBlockHeader + 15) & ~size_t{15};
}

// A kept block of at least total bytes and at most a quarter more, taken out of the list;
// null when none fits. Called with the pool's lock held.
void* TakeKept(Pool& pool, size_t total) {
  for (size_t i = 0; i < pool.kept.size(); ++i) {
    const KeptBlock k = pool.kept[i];
    if (k.bytes >= total && k.bytes - total <= total / 4) {
      pool.kept.erase(pool.kept.begin() + static_cast<std::ptrdiff_t>(i));
      pool.keptBytes -= k.bytes;
      return k.block;
    }
  }
  return nullptr;
}

// Keeps a block being freed when there is room; false when the caller must free it.
// Called with the pool's lock held.
bool Keep(Pool& pool, void* block, size_t total) {
  if (!kKeepBlocks || total < kKeptBlockMin || pool.kept.size() >= kKeptBlocks || pool.keptBytes + total > kKeptBytes)
    return false;
  try {
    pool.kept.push_back({block, total});
  } catch (...) {
    return false;
  }
  pool.keptBytes += total;
  return true;
}

std::shared_mutex g_poolLock;  // exclusive for create/delete, shared for use
Pool* g_pool = nullptr;

// Largest block the pool hands out; sizes beyond it fail like an exhausted pool.
constexpr size_t kMaxBlock = (size_t{1} << 31);

// Allocations still served before every one fails; negative: no limit.
std::atomic<long> g_failAfter{-1};

// False when the test limit of FailAllocationsAfter() refuses this allocation.
bool AllocationAllowed() {
  long n = g_failAfter.load(std::memory_order_relaxed);
  while (n >= 0) {
    if (n == 0) return false;
    if (g_failAfter.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return true;
  }
  return true;
}

void WriteHeader(void* block, size_t size) {
  uint32_t words[4] = {kBlockMarker, static_cast<uint32_t>(size), 0, 0};
  std::memcpy(block, words, sizeof words);
}

}  // namespace

bool CreatePool() {
  std::unique_lock g(g_poolLock);
  if (!g_pool) g_pool = new (std::nothrow) Pool();
  return g_pool != nullptr;
}

void DeletePool() {
  std::unique_lock g(g_poolLock);
  if (!g_pool) return;
  for (void* b : g_pool->blocks) std::free(b);
  for (const KeptBlock& k : g_pool->kept) std::free(k.block);
  delete g_pool;
  g_pool = nullptr;
}

bool PoolExists() {
  std::shared_lock g(g_poolLock);
  return g_pool != nullptr;
}

size_t PoolBlockCount() {
  std::shared_lock g(g_poolLock);
  if (!g_pool) return 0;
  std::lock_guard<std::mutex> p(g_pool->lock);
  return g_pool->blocks.size();
}

void FailAllocationsAfter(long successes) {
  g_failAfter.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

namespace {

// What a new block must hold before the caller sees it.
enum class Fill { kLikeFresh, kZero, kAnything };

// A fresh block of total bytes from the C library. calloc() hands out large blocks as fresh
// mappings without touching them, where aligned_alloc() and a memset would fault in and
// clear every page at once.
void* SystemBlock(size_t total, Fill fill) {
  if (fill != Fill::kZero) return std::aligned_alloc(16, total);
  if constexpr (alignof(std::max_align_t) >= 16) return std::calloc(1, total);
  void* block = std::aligned_alloc(16, total);
  if (block) std::memset(block, 0, total);
  return block;
}

void* AllocateBlock(size_t size, Fill fill) {
  if (size == 0 || size > kMaxBlock || !AllocationAllowed()) return nullptr;
  std::shared_lock g(g_poolLock);
  if (!g_pool) return nullptr;
  const size_t total = TotalBytes(size);
  void* block = nullptr;
  if (kKeepBlocks && total >= kKeptBlockMin) {
    {
      std::lock_guard<std::mutex> p(g_pool->lock);
      block = TakeKept(*g_pool, total);
    }
    // Zeroed as a fresh mapping would be, so a kept block gives the same results as a new one,
    // unless the caller overwrites it all anyway.
    if (block && fill != Fill::kAnything) std::memset(block, 0, total);
  }
  if (!block) block = SystemBlock(total, fill);
  if (!block) return nullptr;
  WriteHeader(block, size);
  {
    std::lock_guard<std::mutex> p(g_pool->lock);
    try {
      g_pool->blocks.insert(block);
    } catch (...) {
      std::free(block);
      return nullptr;
    }
  }
  return static_cast<uint8_t*>(block) + kBlockHeader;
}

}  // namespace

void* Allocate(size_t size) {
  return AllocateBlock(size, Fill::kLikeFresh);
}

void* AllocateForOverwrite(size_t size) {
  return AllocateBlock(size, Fill::kAnything);
}

void* AllocateZeroed(size_t count, size_t size) {
  if (count == 0 || size == 0) return nullptr;
  if (count > std::numeric_limits<size_t>::max() / size) return nullptr;
  return AllocateBlock(count * size, Fill::kZero);
}

void Free(void* ptr) {
  if (!ptr) return;
  std::shared_lock g(g_poolLock);
  if (!g_pool) return;
  void* block = static_cast<uint8_t*>(ptr) - kBlockHeader;
  {
    std::lock_guard<std::mutex> p(g_pool->lock);
    auto it = g_pool->blocks.find(block);
    if (it == g_pool->blocks.end()) return;  // not ours
    uint32_t words[2];
    std::memcpy(words, block, sizeof words);
    if (words[0] != kBlockMarker) return;
    g_pool->blocks.erase(it);
    std::memset(block, 0, sizeof(uint32_t));
    if (Keep(*g_pool, block, TotalBytes(words[1]))) return;
  }
  std::free(block);
}

}  // namespace vl::image
