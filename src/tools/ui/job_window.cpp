#include "tools/ui/job_window.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPushButton>

#include "platform/ui/qt_forms.h"

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

void JobWindow::AddJobButtons(QBoxLayout* layout) {
  auto* buttons = new QHBoxLayout;
  start_ = platform::ui::AddButton(buttons, this, "&Start", "start");
  start_->setAutoDefault(true);
  start_->setDefault(true);
  stop_ = platform::ui::AddButton(buttons, this, "S&top", "stop");
  buttons->addStretch(1);
  cancel_ = platform::ui::AddButton(buttons, this, "&Cancel", "cancel");
  layout->addLayout(buttons);
  connect(stop_, &QPushButton::clicked, this, &JobWindow::Stop);
  connect(cancel_, &QPushButton::clicked, this, &JobWindow::reject);
}

void JobWindow::LockWhileRunning(std::vector<QWidget*> fields) {
  fields_ = std::move(fields);
}

void JobWindow::UpdateEnabled() {
  for (QWidget* w : fields_) w->setEnabled(!running_);
  start_->setEnabled(!running_);
  cancel_->setEnabled(!running_);
  stop_->setEnabled(running_);
}

void JobWindow::PostEnded() {
  QMetaObject::invokeMethod(
      this, [this] { Ended(); }, Qt::QueuedConnection);
}

void JobWindow::Ended() {
  // A stop in progress joins the job; otherwise it ended by itself and is joined here.
  stopper_.Wait();
  JoinJob();
  running_ = false;
  Refresh();
  UpdateEnabled();
  if (isVisible()) start_->setFocus();
  Q_EMIT finished();
}

}  // namespace vl::tools::ui
