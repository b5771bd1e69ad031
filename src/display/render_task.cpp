#include "display/render_task.h"

#include <cstdio>

namespace vl::display {

RenderTask::RenderTask(Renderer& renderer, std::function<void()> requestRedraw)
    : renderer_(renderer), redraw_(std::move(requestRedraw)) {
  subtask_ = tasks::subtaskCreate(kRenderTaskName, &RenderTask::Entry, this, 0);
  if (!subtask_) std::fputs("Failed to initialize subtask\n", stdout);
}

RenderTask::~RenderTask() {
  tasks::subtaskDestroy(subtask_);
}

void RenderTask::Entry() {
  tasks::SubtaskHandlers h;
  h.command = [](tasks::Subtask* self, int16_t command, void*, bool& active) {
    static_cast<RenderTask*>(self->userData)->OnCommand(command, active);
  };
  h.work = [](tasks::Subtask* self, bool& active) { static_cast<RenderTask*>(self->userData)->OnWork(active); };
  tasks::subtaskMainLoop(h);
}

void RenderTask::Send(int command) {
  if (!subtask_ || command < 0) return;
  tasks::subtaskSendMsg(subtask_, static_cast<int16_t>(command), nullptr);
}

void RenderTask::WaitIdle() {
  std::unique_lock<std::mutex> g(lock_);
  idle_.wait(g, [this] { return !busy_; });
}

void RenderTask::SetBusy(bool busy) {
  std::lock_guard<std::mutex> g(lock_);
  busy_ = busy;
  if (!busy_) idle_.notify_all();
}

void RenderTask::OnCommand(int command, bool& active) {
  const bool redraw = renderer_.Command(command);
  {
    std::lock_guard<std::recursive_mutex> r(renderer_.Lock());
    active = renderer_.InProgress();
  }
  if (redraw && redraw_) redraw_();
  SetBusy(active);
}

void RenderTask::OnWork(bool& active) {
  const bool redraw = renderer_.Pass();
  {
    std::lock_guard<std::recursive_mutex> r(renderer_.Lock());
    active = renderer_.InProgress();
  }
  if (redraw && redraw_) redraw_();
  SetBusy(active);
}

}  // namespace vl::display
