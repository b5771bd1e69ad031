// "PrvImageRenderingTask": the background task that renders a display's buffer. Commands
// are sent from the GUI thread and each send waits for the task's reply; between commands
// the task runs the renderer's passes and asks for redraws through a callback that must
// only queue work for the GUI thread (it runs on the task's thread).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "display/renderer.h"

namespace vl::display {

inline constexpr const char* kRenderTaskName = "PrvImageRenderingTask";
inline constexpr int kQuitCommand = -1;

class RenderTask {
 public:
  RenderTask(Renderer& renderer, std::function<void()> requestRedraw);
  ~RenderTask();  // sends quit and joins the thread
  RenderTask(const RenderTask&) = delete;
  RenderTask& operator=(const RenderTask&) = delete;

  // False when the thread could not be started ("Failed to initialize subtask\n" was
  // printed); Send then does nothing.
  bool Running() const { return running_; }

  // Sends command 0, 1 or 2 and waits until the task has handled it.
  void Send(int command);

  // Waits until the task has no rendering in progress and no command pending (used by
  // the screenshot and the tests; the GUI itself never blocks on it).
  void WaitIdle();

 private:
  void Main();

  Renderer& renderer_;
  std::function<void()> redraw_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable replied_;
  int pending_ = 0;
  bool hasCommand_ = false;
  bool active_ = false;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace vl::display
