#include "browser/entry_scanner.h"

#include <cstdio>
#include <unordered_map>
#include <utility>

#include "browser/view.h"
#include "platform/paths.h"

namespace vl::browser {

EntryScanner::EntryScanner(const Options& options, UnitFactory makeUnit)
    : options_(options), makeUnit_(std::move(makeUnit)) {}

EntryScanner::~EntryScanner() {
  if (task_) {
    Send(kScanStop, nullptr);
    tasks::subtaskDestroy(task_);
    task_ = nullptr;
  }
  tasks::queueClearAll(queues_);
}

void EntryScanner::TaskEntry() {
  tasks::SubtaskHandlers h;
  h.command = [](tasks::Subtask* self, int16_t command, void* argument, bool& active) {
    static_cast<EntryScanner*>(self->userData)->Command(command, argument, active);
  };
  h.work = [](tasks::Subtask* self, bool& active) { static_cast<EntryScanner*>(self->userData)->Work(active); };
  tasks::subtaskMainLoop(h);
}

void EntryScanner::Launch() {
  if (task_) return;
  task_ = tasks::subtaskCreate(options_.taskName, &TaskEntry, this, -1);
  if (!task_) std::puts(options_.failureText);
}

void EntryScanner::Send(int16_t command, void* argument) {
  if (task_) tasks::subtaskSendMsg(task_, command, argument);
}

void EntryScanner::Stop() {
  Send(kScanStop, nullptr);
  scanning_ = false;
}

void EntryScanner::SetDirectory(const std::string& resolvedPath) {
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  directory_ = resolvedPath;
}

void EntryScanner::Queue(void* entry) {
  Send(kScanQueue, entry);
}

void EntryScanner::QueueAll(const std::vector<void*>& entries) {
  if (scanning_ || !task_) {
    for (void* e : entries) Queue(e);
    return;
  }
  // An idle task does not touch the pending list until the next start.
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  for (void* e : entries)
    if (e) tasks::queueAppendPending(queues_, e);
}

void EntryScanner::Withdraw(void* entry) {
  Send(kScanWithdraw, entry);
}

bool EntryScanner::Start() {
  if (!task_) return false;
  bool any = true;
  if (options_.startOnlyWithWork) {
    std::lock_guard<std::recursive_mutex> lock(queues_.lock);
    any = !queues_.pending.empty();
  }
  Send(kScanStart, nullptr);
  if (any) scanning_ = true;
  return true;
}

bool EntryScanner::Requeue(void* entry, bool first) {
  if (!entry || !task_) return false;
  Send(first ? kScanQueueHead : kScanQueue, entry);
  // A task still at work takes the entry in turn; one that has gone idle (its end marker
  // is on the done list, or was collected) must be started again.
  return !scanning_ || tasks::queueHasEndMarker(queues_);
}

void EntryScanner::Promote(const std::vector<void*>& entries) {
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  auto& pending = queues_.pending;
  auto insertAt = pending.begin();
  if (insertAt != pending.end() && examining_ && *insertAt == examining_) ++insertAt;
  std::unordered_map<void*, std::list<void*>::iterator> where;
  where.reserve(entries.size());
  for (void* e : entries)
    if (e) where.emplace(e, pending.end());
  for (auto it = insertAt; it != pending.end(); ++it) {
    auto w = where.find(*it);
    if (w != where.end() && w->second == pending.end()) w->second = it;
  }
  for (void* e : entries) {
    auto w = where.find(e);
    if (w == where.end() || w->second == pending.end()) continue;
    auto node = w->second;
    w->second = pending.end();  // an entry named twice moves once
    if (node == insertAt) {
      ++insertAt;
      continue;
    }
    pending.splice(insertAt, pending, node);
  }
}

std::vector<void*> EntryScanner::PendingAfterHead(size_t count) const {
  std::vector<void*> out;
  const auto& pending = queues_.pending;
  auto it = pending.begin();
  if (it != pending.end() && examining_ && *it == examining_) ++it;
  for (; it != pending.end() && out.size() < count; ++it)
    if (*it) out.push_back(*it);
  return out;
}

std::vector<void*> EntryScanner::TakeDone() {
  return tasks::queueTakeDone(queues_);
}

void EntryScanner::Command(int16_t command, void* argument, bool& active) {
  switch (command) {
    case kScanStart: {
      if (!options_.startOnlyWithWork) {
        active = true;
        break;
      }
      std::lock_guard<std::recursive_mutex> lock(queues_.lock);
      if (queues_.pending.empty()) break;
      tasks::queueClearDone(queues_);
      active = true;
      break;
    }
    case kScanStop:
      tasks::queueClearAll(queues_);
      active = false;
      break;
    case kScanQueue:
      if (argument) tasks::queueAppendPending(queues_, argument);
      break;
    case kScanWithdraw:
      if (argument) tasks::queueWithdraw(queues_, argument);
      break;
    case kScanQueueHead:
      if (argument) {
        tasks::queueWithdraw(queues_, argument);
        tasks::queuePushPendingHead(queues_, argument);
      }
      break;
    default: break;
  }
}

void EntryScanner::Work(bool& active) {
  // The pending list changes only on this thread (commands are handled here between
  // units), so the head entry stays while the unit examines it outside the lock; only
  // the writes into the entry are made under it.
  void* entry = nullptr;
  std::unique_ptr<Unit> unit;
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> lock(queues_.lock);
    if (queues_.pending.empty()) {
      active = false;
      tasks::queueAppendEndMarker(queues_);
      return;
    }
    entry = queues_.pending.front();
    examining_ = entry;
    std::string name;
    unit = makeUnit_(entry, name);
    path = directory_;
    if (!platform::AddPart(path, name, kMaxPathLength)) path.clear();
  }
  if (!path.empty()) unit->Examine(path);
  std::lock_guard<std::recursive_mutex> lock(queues_.lock);
  examining_ = nullptr;
  if (queues_.pending.empty() || queues_.pending.front() != entry) return;
  if (unit->Store()) {
    queues_.done.splice(queues_.done.end(), queues_.pending, queues_.pending.begin());
  } else {
    queues_.pending.pop_front();
  }
}

}  // namespace vl::browser
