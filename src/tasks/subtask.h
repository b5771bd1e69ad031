// Subtasks: long-running background tasks driven by their owner through synchronous
// command messages, one embedded message per subtask.
//
// Creator side (the GUI thread only): subtaskCreate, subtaskSendMsg, subtaskDestroy.
// Task side: the entry calls subtaskInit first and subtaskExit last (or runs
// subtaskMainLoop, which does both).
#pragma once

#include <cstdint>
#include <functional>

#include "tasks/port.h"

namespace vl::tasks {

inline constexpr int16_t kSubtaskStart = -2;
inline constexpr int16_t kSubtaskQuit = -1;

struct SubtaskMessage : Message {
  int16_t command = 0;
  void* argument = nullptr;
  int32_t result = 0;
};

struct Process;

struct Subtask {
  Process* process = nullptr;      // the task's thread and its own message port
  MsgPort* commandPort = nullptr;  // made by the task in subtaskInit, deleted in subtaskExit
  MsgPort* replyPort = nullptr;    // made by the creator; every command is replied here
  void* userData = nullptr;
  SubtaskMessage message;  // the one command message, reused for every send
};

using SubtaskEntry = void (*)();

// Starts entry in a new thread and returns once the task has answered the start
// command; null when anything failed (the half-started task ends by itself).
Subtask* subtaskCreate(const char* name, SubtaskEntry entry, void* userData, int priority);
// Sends one command and waits for the reply; returns the task's result. A null subtask
// prints a diagnostic and gives 0.
int32_t subtaskSendMsg(Subtask* subtask, int16_t command, void* argument);
// Sends quit, waits for the reply and the end of the thread, frees the record.
void subtaskDestroy(Subtask* subtask);

// Task side. Null means the entry must return at once.
Subtask* subtaskInit();
// Replies message (the quit message, or the start message after a failed init) with
// result 0. The record belongs to the creator again from the moment of the reply.
void subtaskExit(Subtask* subtask, SubtaskMessage* message);

// The main loop shared by the command-driven tasks. Between commands, while active,
// it runs one unit of work at a time; when idle it sleeps on the command port.
struct SubtaskHandlers {
  // Once after subtaskInit, before the first command.
  std::function<void(Subtask*)> init;
  // A task command (0 and up). The message is replied with result 0 afterwards.
  std::function<void(Subtask*, int16_t command, void* argument, bool& active)> command;
  // One unit of work; clears active when there is nothing left to do.
  std::function<void(Subtask*, bool& active)> work;
  // On quit, before the reply.
  std::function<void(Subtask*)> cleanup;
};
void subtaskMainLoop(const SubtaskHandlers& handlers);

}  // namespace vl::tasks
