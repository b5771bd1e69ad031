// Cache maintenance on a cache tree, as the settings window and the headless options
// offer it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/main_thread_queue.h"
#include "platform/stop_flag.h"

namespace vl::thumbs {

enum class CacheAction { Size, Clear, RemoveDead };

struct CacheActionResult {
  bool ok = false;       // the work was done (a stopped job is not)
  bool stopped = false;  // stop was raised before the end
  std::string sizeText;  // the total after the work, as shown after "CacheSize: "
  std::string message;   // why the work failed; empty when ok
};

// Size: the total size of the cache tree as FormatFileSize writes it. Clear: deletes the
// tree; RemoveDead: deletes the entries of vanished sources; both then give the new total as
// "%.3f Mbytes". root is the cache path (it may carry an assign); a root that cannot be a
// cache ("/", empty) is refused with a message and nothing is touched.
CacheActionResult RunCacheAction(CacheAction action, const std::string& root,
                                 const platform::StopFlag& stop = platform::NeverStop());

// Runs one RunCacheAction at a time on a worker thread. The result comes back through the
// main-thread queue, so done runs on the thread that drains it, and only while the runner
// exists and the job was not stopped. Stop() asks the walk to end early; a runner destroyed
// during a job stops it, waits for the worker and drops its result.
class CacheMaintenanceRunner {
 public:
  using Done = std::function<void(const CacheActionResult& result)>;

  explicit CacheMaintenanceRunner(platform::MainThreadQueue& queue);  // queue outlives the runner
  ~CacheMaintenanceRunner();
  CacheMaintenanceRunner(const CacheMaintenanceRunner&) = delete;
  CacheMaintenanceRunner& operator=(const CacheMaintenanceRunner&) = delete;

  // False, and nothing started, while a job runs.
  bool Start(CacheAction action, const std::string& root, Done done);
  // The running job ends early and its result is dropped; running() is false at once.
  void Stop();
  bool running() const { return running_; }

 private:
  struct Job {
    platform::StopFlag stop;
    bool alive = true;  // touched on the main thread only
  };

  platform::MainThreadQueue& queue_;
  std::shared_ptr<Job> job_;
  std::thread worker_;
  bool running_ = false;
};

// "size", "clear" and "remove-dead" of RunCacheAction, printing the text and a newline.
// Returns 0, 1 when the work could not be done, 2 for an unknown word.
int RunCacheMaintenance(const std::string& what, const std::string& root, FILE* out);

// The new total as the window shows it after Clear and Remove dead.
std::string MegabytesText(uint64_t bytes);

}  // namespace vl::thumbs
