#include "tasks/work_queue.h"

#include <algorithm>
#include <new>

namespace vl::tasks {

bool queueAppendPending(WorkQueues& queues, void* payload) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  try {
    queues.pending.push_back(payload);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool queuePushPendingHead(WorkQueues& queues, void* payload) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  try {
    queues.pending.push_front(payload);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool queueAppendEndMarker(WorkQueues& queues) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  try {
    queues.done.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void queueWithdraw(WorkQueues& queues, void* payload) {
  if (!payload) return;
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  queues.pending.remove(payload);
  queues.done.remove(payload);
}

void queueClearAll(WorkQueues& queues) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  queues.pending.clear();
  queues.done.clear();
}

void queueClearDone(WorkQueues& queues) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  queues.done.clear();
}

bool queueHasEndMarker(WorkQueues& queues) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  return std::find(queues.done.begin(), queues.done.end(), nullptr) != queues.done.end();
}

std::vector<void*> queueTakeDone(WorkQueues& queues) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  std::vector<void*> out(queues.done.begin(), queues.done.end());
  queues.done.clear();
  return out;
}

void queueWorkUnit(WorkQueues& queues, const std::function<bool(void*)>& work, bool& active) {
  std::lock_guard<std::recursive_mutex> lock(queues.lock);
  if (queues.pending.empty()) {
    active = false;
    queueAppendEndMarker(queues);  // takes the lock a second time
    return;
  }
  auto head = queues.pending.begin();
  bool ok = work ? work(*head) : true;
  if (ok) {
    queues.done.splice(queues.done.end(), queues.pending, head);
  } else {
    queues.pending.erase(head);
  }
}

}  // namespace vl::tasks
