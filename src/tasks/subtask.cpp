#include "tasks/subtask.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace vl::tasks {

// The task handle: the thread and the process's own message port, on which the start
// command arrives before the command port exists.
struct Process {
  std::thread thread;
  MsgPort port;
  std::string name;
  int priority = 0;
  bool startTaken = false;  // touched by the task thread only
};

namespace {

thread_local Process* tProcess = nullptr;

void SetThreadIdentity(const std::string& name, int priority) {
  // Thread names are limited to 15 characters.
  std::string shortName = name.substr(0, 15);
  pthread_setname_np(pthread_self(), shortName.c_str());
  // Only lowering is possible without privileges: priority -1 becomes nice +1.
  if (priority < 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -priority);
}

void ProcessMain(Process* process, SubtaskEntry entry) {
  tProcess = process;
  SetThreadIdentity(process->name, process->priority);
  entry();
  if (!process->startTaken) {
    // The entry ended without subtaskInit: answer the start command so the creator,
    // which waits for it, learns that the task failed.
    auto* start = static_cast<SubtaskMessage*>(process->port.WaitGet());
    start->result = 0;
    Reply(start);
  }
  tProcess = nullptr;
}

void FreeProcess(Process* process) {
  if (!process) return;
  if (process->thread.joinable()) process->thread.join();
  delete process;
}

}  // namespace

Subtask* subtaskCreate(const char* name, SubtaskEntry entry, void* userData, int priority) {
  if (!entry) return nullptr;
  std::unique_ptr<Subtask> record(new (std::nothrow) Subtask());
  if (!record) return nullptr;
  record->replyPort = CreatePort();
  if (!record->replyPort) return nullptr;
  record->userData = userData;

  std::unique_ptr<Process> process(new (std::nothrow) Process());
  if (!process) {
    DeletePort(record->replyPort);
    return nullptr;
  }
  process->name = name ? name : "";
  process->priority = priority;
  try {
    process->thread = std::thread(ProcessMain, process.get(), entry);
  } catch (const std::system_error&) {
    DeletePort(record->replyPort);
    return nullptr;
  }
  record->process = process.release();

  if (subtaskSendMsg(record.get(), kSubtaskStart, record.get()) == 0) {
    // The task has replied from subtaskExit (or never got going) and ends by itself.
    FreeProcess(record->process);
    DeletePort(record->replyPort);
    return nullptr;
  }
  return record.release();
}

int32_t subtaskSendMsg(Subtask* subtask, int16_t command, void* argument) {
  if (!subtask) {
    std::fputs("[Subtask]:subtaskSendMsg: Passed NULL as subtask pointer!\n", stdout);
    return 0;
  }
  SubtaskMessage& m = subtask->message;
  m.result = 0;
  m.replyPort = subtask->replyPort;
  m.length = 32;
  m.argument = argument;
  m.command = command;
  MsgPort* port = nullptr;
  if (command == kSubtaskStart) {
    port = subtask->process ? &subtask->process->port : nullptr;
  } else {
    port = subtask->commandPort;
  }
  if (!port || !port->Put(&m)) return 0;
  subtask->replyPort->WaitGet();
  return m.result;
}

void subtaskDestroy(Subtask* subtask) {
  if (!subtask) return;
  subtaskSendMsg(subtask, kSubtaskQuit, subtask);
  // The reply comes from subtaskExit; the thread ends right after it, and joining it
  // here means the record is freed only once the task can no longer touch it.
  FreeProcess(subtask->process);
  DeletePort(subtask->replyPort);
  delete subtask;
}

Subtask* subtaskInit() {
  Process* process = tProcess;
  if (!process || process->startTaken) return nullptr;
  auto* start = static_cast<SubtaskMessage*>(process->port.WaitGet());
  process->startTaken = true;
  auto* record = static_cast<Subtask*>(start->argument);
  record->commandPort = CreatePort();
  if (!record->commandPort) {
    subtaskExit(record, start);
    return nullptr;
  }
  start->result = 1;
  Reply(start);
  return record;
}

void subtaskExit(Subtask* subtask, SubtaskMessage* message) {
  if (subtask && subtask->commandPort) {
    DeletePort(subtask->commandPort);
    subtask->commandPort = nullptr;
  }
  if (!message) return;
  message->result = 0;
  // After this reply the creator may free the record: touch nothing of it below.
  Reply(message);
}

void subtaskMainLoop(const SubtaskHandlers& handlers) {
  Subtask* self = subtaskInit();
  if (!self) return;
  if (handlers.init) handlers.init(self);
  bool active = false;
  for (;;) {
    auto* m = static_cast<SubtaskMessage*>(self->commandPort->Get());
    while (m) {
      if (m->command == kSubtaskQuit) {
        if (handlers.cleanup) handlers.cleanup(self);
        subtaskExit(self, m);
        return;
      }
      if (m->command >= 0 && handlers.command) handlers.command(self, m->command, m->argument, active);
      m->result = 0;
      Reply(m);
      m = static_cast<SubtaskMessage*>(self->commandPort->Get());
    }
    if (active && handlers.work) {
      handlers.work(self, active);
    } else {
      active = false;
      self->commandPort->Wait();
    }
  }
}

}  // namespace vl::tasks
