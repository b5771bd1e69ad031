// The pictures next to the shown one, read in the background so that a step to them shows
// them without reading the file again.
//
// One worker reads the wanted paths one at a time, in the order given, and holds at most
// kMaxHeld pictures. What the readers print while reading ahead is held back and printed
// by Take(), where a plain read would have printed it. A new Want() drops the pictures of
// paths no longer wanted (a read in flight for one is stopped where the decoder allows and
// thrown away). Nothing is read ahead while free memory is below the floor, and what is
// held is dropped then. Every call comes from one thread (the main thread).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/chunky.h"
#include "platform/stop_flag.h"

namespace vl::app {

// What a file was when its picture was read: a held picture whose file has changed since is
// not shown.
struct FileStamp {
  bool valid = false;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

class StepReadAhead {
 public:
  // Reads one picture (on the worker).
  using Reader = std::function<image::Texture*(const std::string& path)>;
  // The bytes of memory still available (on the calling thread).
  using MemoryProbe = std::function<uint64_t()>;

  static constexpr int kMaxHeld = 2;
  // Below this much available memory nothing is read ahead.
  static constexpr uint64_t kMemoryFloor = 512ull << 20;

  explicit StepReadAhead(Reader reader);
  ~StepReadAhead();  // stops and waits for a read in flight
  StepReadAhead(const StepReadAhead&) = delete;
  StepReadAhead& operator=(const StepReadAhead&) = delete;

  void SetReader(Reader reader);
  void SetMemoryProbe(MemoryProbe probe) { probe_ = std::move(probe); }

  // Reads these paths ahead (at most kMaxHeld, first first; empty ones are skipped) and
  // drops whatever is held or being read for any other path.
  void Want(const std::vector<std::string>& paths);
  // Holds a picture of path already read (the one a step leaves), to be kept by the next
  // Want() when path is among its paths; ignored when path is held or being read already.
  // stamp is the file's as it was read.
  void Offer(const std::string& path, image::TexturePtr picture, const FileStamp& stamp);
  // Drops everything (the directory changed).
  void Clear() { Want({}); }
  // The picture of path when it is held or being read (waiting for the read), with the
  // readers' messages printed; false when path was not read ahead or its file changed after
  // the read (out is then untouched).
  bool Take(const std::string& path, image::TexturePtr& out);

  // The paths whose pictures are held now (finished reads), in the order wanted.
  std::vector<std::string> HeldPaths();
  // Waits until no read is in flight or pending (tests and benchmarks).
  void WaitIdle();

 private:
  struct Slot {
    std::string path;
    image::TexturePtr picture;
    std::string messages;
    FileStamp stamp;
    bool done = false;
    std::shared_ptr<platform::StopFlag> stop = std::make_shared<platform::StopFlag>();
  };
  void Work();
  void StartWorker();

  Reader reader_;
  MemoryProbe probe_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;  // wanted, in order; under lock_
  std::string reading_;      // the path being read, under lock_
  bool quit_ = false;
  std::thread worker_;
};

// MemAvailable of /proc/meminfo in bytes; the largest value when it cannot be read.
uint64_t AvailableMemory();

}  // namespace vl::app
