// The GUI's main-thread queue: a pushed job runs on the Qt GUI thread, from its event loop,
// in the order pushed. Safe to push from any thread.
#pragma once

#include "platform/main_thread_queue.h"

namespace vl::platform::ui {

class QtMainThreadQueue : public platform::MainThreadQueue {
 public:
  void Push(std::function<void()> job) override;
};

// The queue of the running QApplication.
QtMainThreadQueue& GuiQueue();

}  // namespace vl::platform::ui
