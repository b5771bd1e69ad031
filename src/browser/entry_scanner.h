// The background task behind a browser view: it works through the view's entries one at
// a time (finding a file's type, making a thumbnail) and hands the finished ones back
// through the done list, which the view's timer collects.
//
// Threads: every call here comes from the GUI thread, except the unit of work, which runs
// on the task's thread. Commands are synchronous and the task handles them between units,
// so a view that frees an entry only after Withdraw() or Stop() never frees one the task is
// working on. Lock() guards the pending and done lists; the view guards what the task
// writes into its entries with the same lock. Promote() reorders the pending list from the
// GUI thread under the lock without a command (a command waits for the unit in progress),
// and leaves the entry being examined where it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tasks/subtask.h"
#include "tasks/work_queue.h"

namespace vl::browser {

// Longest full path a view builds; longer names are not listed.
inline constexpr size_t kMaxPathLength = 4095;

class EntryScanner {
 public:
  // One unit of work on the entry at the head of the pending list.
  class Unit {
   public:
    virtual ~Unit() = default;
    // Outside the lock, on the entry's full path; not called when the path would be too long.
    virtual void Examine(const std::string& path) = 0;
    // Under the lock, while the entry is still at the head of the pending list: writes the
    // result into the entry. True moves it to the done list, false drops it.
    virtual bool Store() = 0;
  };
  // Under the lock: sets name to the entry's name and returns the unit that examines it.
  using UnitFactory = std::function<std::unique_ptr<Unit>(void* entry, std::string& name)>;

  struct Options {
    const char* taskName = "";
    const char* failureText = "";  // printed when the task cannot be started
    // True: a start with nothing pending leaves the task idle (no end marker follows),
    // and a start with work clears the done list first. False: every start runs the
    // task, which reports its end at once when there is nothing to do.
    bool startOnlyWithWork = false;
  };

  EntryScanner(const Options& options, UnitFactory makeUnit);
  ~EntryScanner();  // stops and ends the task
  EntryScanner(const EntryScanner&) = delete;
  EntryScanner& operator=(const EntryScanner&) = delete;

  // Starts the task (idle until Start()); prints the failure text when it cannot.
  void Launch();
  bool HasTask() const { return task_ != nullptr; }

  // Stops the task and empties both lists; Scanning() is false afterwards.
  void Stop();
  // The directory whose entries are queued next.
  void SetDirectory(const std::string& resolvedPath);
  // Appends the entry to the pending list.
  void Queue(void* entry);
  // Appends the entries in one step: straight into the pending list while the task is idle
  // (not Scanning()), else one command each.
  void QueueAll(const std::vector<void*>& entries);
  // Takes the entry off both lists (before the view frees it).
  void Withdraw(void* entry);
  // Sets the task working through the pending list. False without a task.
  bool Start();
  // Queues the entry again, at the head of the pending list when first is set (moving it
  // there if it is still pending). True when the task has run out of work: the view then
  // collects what is done and calls Start() again.
  bool Requeue(void* entry, bool first);
  // Moves those of the entries that are still pending to the head of the pending list, in
  // the order given (behind the entry being examined, if any). Entries that are done or
  // not queued stay as they are. Does not block on the task's unit of work.
  void Promote(const std::vector<void*>& entries);

  // Empties the done list and returns its entries in order (null = the end marker).
  std::vector<void*> TakeDone();
  // The view has collected the end marker: the scan is over.
  void MarkEnded() { scanning_ = false; }
  // True from a start that had work (any start, without startOnlyWithWork) until the
  // view has collected the end marker.
  bool Scanning() const { return scanning_; }

  std::recursive_mutex& Lock() { return queues_.lock; }
  // Under the lock, from a unit of work: up to count entries pending after the one being
  // examined, in order (they stay alive until the unit ends: withdrawing waits for it).
  std::vector<void*> PendingAfterHead(size_t count) const;
  // Under the lock: the directory whose entries are examined.
  const std::string& Directory() const { return directory_; }

 private:
  void Send(int16_t command, void* argument);
  void Command(int16_t command, void* argument, bool& active);
  void Work(bool& active);
  static void TaskEntry();

  Options options_;
  UnitFactory makeUnit_;
  bool scanning_ = false;
  std::string directory_;      // under the lock
  void* examining_ = nullptr;  // under the lock: the entry whose unit is running
  tasks::WorkQueues queues_;
  tasks::Subtask* task_ = nullptr;
};

}  // namespace vl::browser
