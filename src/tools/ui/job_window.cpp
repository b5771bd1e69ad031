#include "tools/ui/job_window.h"

#include <QCloseEvent>
#include <QMetaObject>

namespace vl::tools::ui {

void JobWindow::reject() {
  if (running_) return;
  QDialog::reject();
}

void JobWindow::closeEvent(QCloseEvent* event) {
  Stop();
  event->accept();
}

void JobWindow::Post() {
  if (refreshQueued_.exchange(true)) return;
  // Queued to the window itself: a window destroyed meanwhile drops the call.
  QMetaObject::invokeMethod(
      this,
      [this] {
        refreshQueued_ = false;
        Refresh();
      },
      Qt::QueuedConnection);
}

}  // namespace vl::tools::ui
