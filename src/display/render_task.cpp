#include "display/render_task.h"

#include <pthread.h>

#include <cstdio>
#include <string>
#include <system_error>

namespace vl::display {

RenderTask::RenderTask(Renderer& renderer, std::function<void()> requestRedraw)
    : renderer_(renderer), redraw_(std::move(requestRedraw)) {
  try {
    thread_ = std::thread([this] { Main(); });
    running_ = true;
  } catch (const std::system_error&) {
    std::fputs("Failed to initialize subtask\n", stdout);
  }
}

RenderTask::~RenderTask() {
  if (!running_) return;
  Send(kQuitCommand);
  thread_.join();
}

void RenderTask::Send(int command) {
  if (!running_) return;
  std::unique_lock<std::mutex> g(lock_);
  // One command message at a time, as with a single embedded message.
  replied_.wait(g, [this] { return !hasCommand_; });
  pending_ = command;
  hasCommand_ = true;
  wake_.notify_all();
  replied_.wait(g, [this] { return !hasCommand_; });
}

void RenderTask::WaitIdle() {
  if (!running_) return;
  std::unique_lock<std::mutex> g(lock_);
  replied_.wait(g, [this] { return !hasCommand_ && !active_; });
}

void RenderTask::Main() {
  // Thread names are limited to 15 characters.
  const std::string name = std::string(kRenderTaskName).substr(0, 15);
  pthread_setname_np(pthread_self(), name.c_str());
  for (;;) {
    int command = 0;
    bool haveCommand = false;
    {
      std::unique_lock<std::mutex> g(lock_);
      wake_.wait(g, [this] { return hasCommand_ || active_; });
      if (hasCommand_) {
        command = pending_;
        haveCommand = true;
      }
    }
    if (haveCommand) {
      if (command == kQuitCommand) {
        std::lock_guard<std::mutex> g(lock_);
        hasCommand_ = false;
        active_ = false;
        replied_.notify_all();
        return;
      }
      bool redraw = renderer_.Command(command);
      bool inProgress;
      {
        std::lock_guard<std::recursive_mutex> r(renderer_.Lock());
        inProgress = renderer_.InProgress();
      }
      std::lock_guard<std::mutex> g(lock_);
      active_ = inProgress;
      hasCommand_ = false;
      replied_.notify_all();
      if (redraw && redraw_) redraw_();
      continue;
    }
    // One unit of work between commands.
    bool redraw = renderer_.Pass();
    bool inProgress;
    {
      std::lock_guard<std::recursive_mutex> r(renderer_.Lock());
      inProgress = renderer_.InProgress();
    }
    if (redraw && redraw_) redraw_();
    std::lock_guard<std::mutex> g(lock_);
    if (!hasCommand_) active_ = inProgress;
    if (!active_) replied_.notify_all();
  }
}

}  // namespace vl::display
