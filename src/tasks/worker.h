// Worker threads ("[STHD]"): one job run to its end, which only needs to be told to stop.
//
// The starter calls sthdCreate and later sthdJoin; the job reads its parameters with
// sthdUserData(sthdSelf()), polls sthdCheckStop between units of work and calls
// sthdSetDone as its last step.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "tasks/port.h"

namespace vl::tasks {

struct Worker;

inline constexpr int32_t kWorkerStop = 0;

inline constexpr uint32_t kWorkerRunning = 0;
inline constexpr uint32_t kWorkerFinished = 1;
inline constexpr uint32_t kWorkerIdle = 2;  // before creation and after join

struct WorkerMessage : Message {
  int32_t command = 0;       // stop message: 0 = stop
  void* userData = nullptr;  // start message: the job's parameters
  Worker* worker = nullptr;  // start message: the record
};

struct Worker {
  std::thread process;
  MsgPort* endPort = nullptr;        // the start message comes back here when the job ends
  MsgPort* stopReplyPort = nullptr;  // the stop message is replied here
  MsgPort* taskPort = nullptr;       // the job's own port, where stop messages arrive
  std::atomic<uint32_t> state{kWorkerIdle};
  WorkerMessage* startMessage = nullptr;
  void* userData = nullptr;
};

using WorkerEntry = std::function<void()>;

// Starts the job; null when resources or the thread could not be had.
Worker* sthdCreate(WorkerEntry entry, void* userData);
// Stops a running job (or lets a finished one end), waits for its thread, frees the
// record and returns userData. Never waits forever on a stop the job did not see.
void* sthdJoin(Worker* worker);

// Inside the job.
Worker* sthdSelf();
void* sthdUserData(Worker* worker);
// 1 when a stop was requested; 0 otherwise (foreign messages are answered and ignored).
int sthdCheckStop(Worker* worker);
void sthdSetDone(Worker* worker);

namespace testing {
// Number of stop messages sthdJoin has sent since the program started.
unsigned StopMessagesSent();
}  // namespace testing

}  // namespace vl::tasks
