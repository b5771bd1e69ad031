// "PrvImageRenderingTask": the subtask that renders a display's buffer. Commands are sent
// from the GUI thread and each send waits for the task's reply; between commands the task
// runs the renderer's passes and asks for redraws through a callback that must only queue
// work for the GUI thread (it runs on the task's thread).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "display/renderer.h"
#include "tasks/subtask.h"

namespace vl::display {

inline constexpr const char* kRenderTaskName = "PrvImageRenderingTask";

class RenderTask {
 public:
  RenderTask(Renderer& renderer, std::function<void()> requestRedraw);
  ~RenderTask();  // quits the subtask
  RenderTask(const RenderTask&) = delete;
  RenderTask& operator=(const RenderTask&) = delete;

  // False when the subtask could not be created ("Failed to initialize subtask\n" was
  // printed); Send then does nothing.
  bool Running() const { return subtask_ != nullptr; }

  // Sends command 0, 1 or 2 and waits until the task has handled it.
  void Send(int command);

  // Waits until the task has no rendering in progress (used by the screenshot and the
  // tests; the GUI itself never blocks on it).
  void WaitIdle();

 private:
  static void Entry();
  void OnCommand(int command, bool& active);
  void OnWork(bool& active);
  void SetBusy(bool busy);

  Renderer& renderer_;
  std::function<void()> redraw_;
  std::mutex lock_;
  std::condition_variable idle_;
  bool busy_ = false;
  tasks::Subtask* subtask_ = nullptr;
};

}  // namespace vl::display
