// The pending and done queues a scanner task shares with its owning view.
//
// Both lists hold payload pointers (the view's own entry records, never owned here)
// and are guarded by the owner's recursive lock. A null payload on the done list is the
// end marker: the task appends it when it runs out of pending work.
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <vector>

namespace vl::tasks {

struct WorkQueues {
  std::recursive_mutex lock;
  std::list<void*> pending;
  std::list<void*> done;
};

// Each returns false when the node could not be allocated (the entry is then not queued).
bool queueAppendPending(WorkQueues& queues, void* payload);
bool queuePushPendingHead(WorkQueues& queues, void* payload);
bool queueAppendEndMarker(WorkQueues& queues);
// Removes every node holding payload from both lists.
void queueWithdraw(WorkQueues& queues, void* payload);
// Frees every node of both lists.
void queueClearAll(WorkQueues& queues);
void queueClearDone(WorkQueues& queues);
// Whether the task's end marker is on the done list (the task has run out of work).
bool queueHasEndMarker(WorkQueues& queues);
// Empties the done list and returns its payloads in order (null = end marker).
std::vector<void*> queueTakeDone(WorkQueues& queues);

// One unit of a scanner's work, under the lock: with nothing pending, clears active and
// appends the end marker; otherwise runs work on the head payload and moves the node to
// the done list when work returns true, or drops it when it returns false.
void queueWorkUnit(WorkQueues& queues, const std::function<bool(void*)>& work, bool& active);

}  // namespace vl::tasks
