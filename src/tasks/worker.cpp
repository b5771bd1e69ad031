#include "tasks/worker.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <new>
#include <system_error>

namespace vl::tasks {
namespace {

thread_local Worker* tWorker = nullptr;
std::atomic<unsigned> gStopMessagesSent{0};

void WorkerMain(Worker* worker, WorkerMessage* start, WorkerEntry entry) {
  tWorker = start->worker;
  pthread_setname_np(pthread_self(), "VLWorker");
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 1);  // priority -1
  entry();
  tWorker = nullptr;
  // The job has ended. A stop message that crossed its last step is answered here, and
  // the task port refuses later ones, so the joiner never waits on a reply that cannot
  // come. Then the start message goes back, which tells the joiner the job is over.
  for (Message* m : worker->taskPort->Close()) Reply(m);
  Reply(start);
}

void FreeResources(Worker* worker) {
  DeletePort(worker->endPort);
  DeletePort(worker->stopReplyPort);
  DeletePort(worker->taskPort);
  delete worker->startMessage;
  delete worker;
}

}  // namespace

Worker* sthdCreate(WorkerEntry entry, void* userData) {
  Worker* worker = new (std::nothrow) Worker();
  if (!worker) return nullptr;
  worker->state = kWorkerIdle;
  worker->userData = userData;
  worker->endPort = CreatePort();
  worker->stopReplyPort = CreatePort();
  worker->startMessage = new (std::nothrow) WorkerMessage();
  if (!worker->endPort || !worker->stopReplyPort || !worker->startMessage) {
    std::fputs("failed to allocate resources\n", stdout);
    FreeResources(worker);
    return nullptr;
  }
  WorkerMessage* start = worker->startMessage;
  start->replyPort = worker->endPort;
  start->length = 28;
  start->userData = userData;
  start->worker = worker;

  // The task port comes with the process.
  worker->taskPort = CreatePort();
  if (!worker->taskPort || !entry) {
    FreeResources(worker);
    return nullptr;
  }
  worker->state = kWorkerRunning;
  try {
    worker->process = std::thread(WorkerMain, worker, start, std::move(entry));
  } catch (const std::system_error&) {
    FreeResources(worker);
    return nullptr;
  }
  return worker;
}

void* sthdJoin(Worker* worker) {
  if (!worker) return nullptr;
  if (worker->state.load() == kWorkerRunning) {
    auto stop = std::make_unique<WorkerMessage>();
    stop->replyPort = worker->stopReplyPort;
    stop->length = 24;
    stop->command = kWorkerStop;
    gStopMessagesSent.fetch_add(1);
    // A closed task port means the job has already ended: no reply will come.
    if (worker->taskPort->Put(stop.get())) worker->stopReplyPort->WaitGet();
  }
  worker->endPort->WaitGet();
  if (worker->process.joinable()) worker->process.join();
  worker->state = kWorkerIdle;
  void* userData = worker->userData;
  FreeResources(worker);
  return userData;
}

Worker* sthdSelf() {
  return tWorker;
}

void* sthdUserData(Worker* worker) {
  return worker ? worker->userData : nullptr;
}

int sthdCheckStop(Worker* worker) {
  if (!worker) return 0;
  Message* m = worker->taskPort->Get();
  if (!m) return 0;
  auto* wm = static_cast<WorkerMessage*>(m);
  if (wm->command == kWorkerStop) {
    Reply(m);
    return 1;
  }
  std::fputs("[STHD]: Fake/broken command message!\n", stdout);
  Reply(m);
  return 0;
}

void sthdSetDone(Worker* worker) {
  if (worker) worker->state = kWorkerFinished;
}

namespace testing {
unsigned StopMessagesSent() {
  return gStopMessagesSent.load();
}
}  // namespace testing

}  // namespace vl::tasks
