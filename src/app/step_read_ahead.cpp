#include "app/step_read_ahead.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/messages.h"
#include "platform/thread_pool.h"

namespace vl::app {

uint64_t AvailableMemory() {
  uint64_t bytes = std::numeric_limits<uint64_t>::max();
  FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return bytes;
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long kib = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
      if (kib <= std::numeric_limits<uint64_t>::max() / 1024) bytes = static_cast<uint64_t>(kib) * 1024;
      break;
    }
  }
  std::fclose(f);
  return bytes;
}

StepReadAhead::StepReadAhead(Reader reader) : reader_(std::move(reader)), probe_(&AvailableMemory) {}

StepReadAhead::~StepReadAhead() {
  {
    std::lock_guard<std::mutex> lk(lock_);
    quit_ = true;
    for (Slot& s : slots_) s.stop->Request();
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void StepReadAhead::SetReader(Reader reader) {
  std::lock_guard<std::mutex> lk(lock_);
  reader_ = std::move(reader);
}

void StepReadAhead::StartWorker() {
  if (worker_.joinable()) return;
  try {
    worker_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread to be had: nothing is read ahead and every step reads its file.
    std::lock_guard<std::mutex> lk(lock_);
    slots_.clear();
  }
}

void StepReadAhead::Want(const std::vector<std::string>& paths) {
  std::vector<std::string> wanted;
  const bool possible = platform::ThreadCount() > 1 && (!probe_ || probe_() >= kMemoryFloor);
  for (const std::string& p : paths) {
    if (!possible || static_cast<int>(wanted.size()) >= kMaxHeld) break;
    if (p.empty()) continue;
    bool seen = false;
    for (const std::string& w : wanted) seen = seen || w == p;
    if (!seen) wanted.push_back(p);
  }
  std::vector<Slot> dropped;
  {
    std::lock_guard<std::mutex> lk(lock_);
    std::vector<Slot> next;
    for (const std::string& p : wanted) {
      Slot slot;
      for (Slot& s : slots_)
        if (s.path == p && !s.path.empty()) {
          slot = std::move(s);
          s.path.clear();
          break;
        }
      slot.path = p;
      next.push_back(std::move(slot));
    }
    for (Slot& s : slots_) {
      if (s.path.empty()) continue;
      s.stop->Request();
      dropped.push_back(std::move(s));
    }
    slots_ = std::move(next);
  }
  changed_.notify_all();
  if (!wanted.empty()) StartWorker();
  // The dropped pictures are freed here, outside the lock.
}

FileStamp StampOf(const std::string& path) {
  struct stat st {};
  FileStamp stamp;
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.valid = true;
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

void StepReadAhead::Offer(const std::string& path, image::TexturePtr picture, const FileStamp& stamp) {
  if (path.empty() || !picture) return;
  std::lock_guard<std::mutex> lk(lock_);
  for (const Slot& s : slots_)
    if (s.path == path) return;
  Slot slot;
  slot.path = path;
  slot.picture = std::move(picture);
  slot.stamp = stamp;
  slot.done = true;
  slots_.push_back(std::move(slot));
}

bool StepReadAhead::Take(const std::string& path, image::TexturePtr& out) {
  Slot taken;
  {
    std::unique_lock<std::mutex> lk(lock_);
    size_t i = 0;
    while (i < slots_.size() && slots_[i].path != path) ++i;
    if (i == slots_.size()) return false;
    // A read not started yet is quicker done by the caller than after the one in flight.
    if (!slots_[i].done && reading_ != path) {
      slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
      return false;
    }
    changed_.wait(lk, [&] { return slots_[i].done; });
    taken = std::move(slots_[i]);
    slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  // A failed read is done again by the caller, which reports the failure as it happens; a
  // file changed since its read is read again.
  if (!taken.picture || !(taken.stamp == StampOf(path))) return false;
  platform::PrintMessage(taken.messages);
  out = std::move(taken.picture);
  return true;
}

std::vector<std::string> StepReadAhead::HeldPaths() {
  std::lock_guard<std::mutex> lk(lock_);
  std::vector<std::string> out;
  for (const Slot& s : slots_)
    if (s.done && s.picture) out.push_back(s.path);
  return out;
}

void StepReadAhead::WaitIdle() {
  std::unique_lock<std::mutex> lk(lock_);
  changed_.wait(lk, [&] {
    if (!reading_.empty()) return false;
    for (const Slot& s : slots_)
      if (!s.done) return false;
    return true;
  });
}

void StepReadAhead::Work() {
  std::unique_lock<std::mutex> lk(lock_);
  for (;;) {
    Slot* next = nullptr;
    changed_.wait(lk, [&] {
      next = nullptr;
      for (Slot& s : slots_)
        if (!s.done) {
          next = &s;
          break;
        }
      return quit_ || next;
    });
    if (quit_) return;
    const std::string path = next->path;
    std::shared_ptr<platform::StopFlag> stop = next->stop;
    Reader reader = reader_;
    reading_ = path;
    lk.unlock();

    image::TexturePtr picture;
    std::string messages;
    const FileStamp stamp = StampOf(path);
    {
      platform::MessageCapture capture;
      platform::ScopedStopFlag stopScope(*stop);
      if (!stop->Requested() && reader) picture.reset(reader(path));
      messages = capture.Take();
    }
    if (stop->Requested()) picture.reset();  // dropped meanwhile; possibly cut short

    lk.lock();
    reading_.clear();
    for (Slot& s : slots_)
      if (s.stop == stop) {
        s.picture = std::move(picture);
        s.messages = std::move(messages);
        s.stamp = stamp;
        s.done = true;
        break;
      }
    changed_.notify_all();
    if (picture) {
      // No longer wanted: freed outside the lock.
      lk.unlock();
      picture.reset();
      lk.lock();
    }
  }
}

}  // namespace vl::app
