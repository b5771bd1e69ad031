#include "platform/ui/qt_main_thread_queue.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace vl::platform::ui {

void QtMainThreadQueue::Push(std::function<void()> job) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !job) return;
  QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
}

QtMainThreadQueue& GuiQueue() {
  static QtMainThreadQueue queue;
  return queue;
}

}  // namespace vl::platform::ui
