// Message ports: the queue-and-rendezvous stand-in for the platform's exec ports.
//
// A Message is owned by its sender; Put() hands it to the port's owner, who eventually
// calls Reply(), which puts it on the message's replyPort. A port is created and deleted
// by one side only; CreatePort() can fail (null), like every platform allocation.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace vl::tasks {

class MsgPort;

struct Message {
  MsgPort* replyPort = nullptr;
  uint16_t length = 0;
};

class MsgPort {
 public:
  MsgPort() = default;
  MsgPort(const MsgPort&) = delete;
  MsgPort& operator=(const MsgPort&) = delete;

  // Queues the message and wakes the waiter. False when the port has been closed.
  bool Put(Message* message);
  // Takes the oldest message, or null when none is waiting.
  Message* Get();
  // True when a message is waiting.
  bool Waiting();
  // Blocks until a message is waiting (does not take it).
  void Wait();
  // Blocks until a message is waiting, then takes it.
  Message* WaitGet();
  // Refuses further messages and returns the ones still queued, oldest first.
  std::deque<Message*> Close();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Message*> queue_;
  bool closed_ = false;
};

// Null when the port could not be made (see testing::FailPortCreation).
MsgPort* CreatePort();
void DeletePort(MsgPort* port);
// Puts the message on its reply port; false when it has none.
bool Reply(Message* message);

namespace testing {
// Makes the n-th port creation from now fail (1 = the next one); 0 disarms.
void FailPortCreation(int n);
}  // namespace testing

}  // namespace vl::tasks
