#include "image/pool.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>

namespace vl::image {
namespace {

struct Pool {
  std::mutex lock;
  std::unordered_set<void*> blocks;  // block starts (header addresses)
};

std::shared_mutex g_poolLock;  // exclusive for create/delete, shared for use
Pool* g_pool = nullptr;

// Largest block the pool hands out; sizes beyond it fail like an exhausted pool.
constexpr size_t kMaxBlock = (size_t{1} << 31);

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

void* Allocate(size_t size) {
  if (size == 0 || size > kMaxBlock) return nullptr;
  std::shared_lock g(g_poolLock);
  if (!g_pool) return nullptr;
  size_t total = (size + kBlockHeader + 15) & ~size_t{15};
  void* block = std::aligned_alloc(16, total);
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

void* AllocateZeroed(size_t count, size_t size) {
  if (count == 0 || size == 0) return nullptr;
  if (count > std::numeric_limits<size_t>::max() / size) return nullptr;
  size_t bytes = count * size;
  void* p = Allocate(bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
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
    uint32_t marker;
    std::memcpy(&marker, block, sizeof marker);
    if (marker != kBlockMarker) return;
    g_pool->blocks.erase(it);
  }
  std::memset(block, 0, sizeof(uint32_t));
  std::free(block);
}

}  // namespace vl::image
