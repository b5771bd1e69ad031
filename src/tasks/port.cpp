#include "tasks/port.h"

#include <atomic>
#include <memory>
#include <new>

namespace vl::tasks {
namespace {
std::atomic<int> gFailCountdown{0};

bool ShouldFail() {
  int n = gFailCountdown.load();
  while (n > 0) {
    if (gFailCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}
}  // namespace

bool MsgPort::Put(Message* message) {
  // Notify while holding the lock: the receiver may delete the port as soon as it has
  // the message, so nothing of the port may be touched after the unlock.
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  queue_.push_back(message);
  ready_.notify_all();
  return true;
}

Message* MsgPort::Get() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  Message* m = queue_.front();
  queue_.pop_front();
  return m;
}

bool MsgPort::Waiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty();
}

void MsgPort::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return !queue_.empty(); });
}

Message* MsgPort::WaitGet() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return !queue_.empty(); });
  Message* m = queue_.front();
  queue_.pop_front();
  return m;
}

std::deque<Message*> MsgPort::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  std::deque<Message*> left;
  left.swap(queue_);
  return left;
}

MsgPort* CreatePort() {
  if (ShouldFail()) return nullptr;
  return new (std::nothrow) MsgPort();
}

void DeletePort(MsgPort* port) {
  delete port;
}

bool Reply(Message* message) {
  if (!message || !message->replyPort) return false;
  return message->replyPort->Put(message);
}

namespace testing {
void FailPortCreation(int n) {
  gFailCountdown.store(n > 0 ? n : 0);
}
}  // namespace testing

}  // namespace vl::tasks
