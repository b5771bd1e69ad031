#include "edit/ui/tool_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "edit/operation.h"
#include "platform/ui/qt_forms.h"
#include "platform/ui/qt_main_thread_queue.h"

namespace vl::edit::ui {

ToolWindow::ToolWindow(app::Controller& controller, const QString& title, ToolKind kind, QWidget* parent)
    : QDialog(parent), controller_(controller), kind_(kind) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);

  parameters_ = new QWidget(this);
  parameters_->setObjectName(QStringLiteral("parameters"));
  layout->addWidget(parameters_, 1);

  // A size-changing operation has no preview, so it has no switch for one.
  auto* realtimeRow = new QHBoxLayout();
  auto* realtimeLabel = new QLabel(QStringLiteral("Realtime:"), this);
  realtime_ = new QCheckBox(this);
  realtime_->setObjectName(QStringLiteral("realtime"));
  realtimeLabel->setBuddy(realtime_);
  realtimeRow->addWidget(realtimeLabel);
  realtimeRow->addWidget(realtime_);
  realtimeRow->addStretch(1);
  layout->addLayout(realtimeRow);
  realtimeLabel->setVisible(kind_ == ToolKind::kInPlace);
  realtime_->setVisible(kind_ == ToolKind::kInPlace);

  platform::ui::AddExecuteCancelRow(layout, this, execute_, cancel_);

  connect(realtime_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) ParametersChanged();
  });
  connect(execute_, &QPushButton::clicked, this, &ToolWindow::Execute);
  connect(cancel_, &QPushButton::clicked, this, &ToolWindow::reject);
}

ToolWindow::~ToolWindow() {
  // The widgets go after this body, and a field that loses the focus as they go reports that
  // its editing ended: no such report may reach the derived window, which is gone already.
  for (QObject* o : findChildren<QObject*>()) o->blockSignals(true);
  // The worker ends before the window it reports to.
  preview_.reset();
  // Destroyed while open (the main window went first): the picture goes back as it was.
  if (open_) controller_.CancelEdit();
}

bool ToolWindow::Open() {
  const image::ChunkyImage* picture = CurrentChunky(controller_);
  if (!picture) return false;
  if (!open_) {
    if (!focusOrdered_) {
      OrderFocusChain();
      focusOrdered_ = true;
    }
    LoadFromPicture(*picture);
    // The one copy of the picture on the GUI thread comes now rather than amid the first drag.
    if (PreviewsOnWorker()) controller_.BeginEdit();
    open_ = true;
    show();
    Q_EMIT opened();
  }
  raise();
  activateWindow();
  FocusFirstParameter();
  return true;
}

void ToolWindow::ParametersChanged() {
  ++changes_;
  if (open_ && !executing_ && realtime_->isChecked()) PreviewStep();
}

bool ToolWindow::RequestPreview(RealtimePreview::Run run) {
  if (!CurrentChunky(controller_) || !controller_.BeginEdit() || !controller_.editBackup()->chunky) return false;
  if (!preview_)
    preview_ = std::make_unique<RealtimePreview>(platform::ui::GuiQueue(),
                                                 [this](image::ChunkyImage& result) { ShowPreview(result); });
  previewedChange_ = changes_;
  preview_->Request(*controller_.editBackup()->chunky, std::move(run));
  return true;
}

void ToolWindow::ShowPreview(image::ChunkyImage& result) {
  image::ChunkyImage* current = CurrentChunky(controller_);
  if (current && SwapPixels(*current, result)) controller_.RefreshDisplay();
}

void ToolWindow::FinishWithPreview() {
  if (!preview_) {
    FinishExecute(false);
    return;
  }
  preview_->Finish([this](bool shown) { FinishExecute(shown); });
}

void ToolWindow::Execute() {
  if (!open_ || executing_) return;
  executing_ = true;
  StartExecute();
  if (executing_) SetWaiting(true);
}

void ToolWindow::FinishExecute(bool ok) {
  if (!executing_) return;
  executing_ = false;
  SetWaiting(false);
  if (!ok) return;
  if (kind_ == ToolKind::kInPlace) controller_.CommitEdit();
  accept();
}

void ToolWindow::SetWaiting(bool waiting) {
  if (waiting == waiting_) return;
  waiting_ = waiting;
  parameters_->setEnabled(!waiting);
  realtime_->setEnabled(!waiting);
  execute_->setEnabled(!waiting);
}

void ToolWindow::done(int result) {
  if (!open_) {
    QDialog::done(result);
    return;
  }
  // Nothing more is shown; a run in flight reads the worker's copy, not the backup.
  if (preview_) preview_->Cancel();
  previewedChange_ = 0;
  executing_ = false;
  SetWaiting(false);
  if (result != Accepted) controller_.CancelEdit();
  open_ = false;
  QDialog::done(result);
  Q_EMIT closed();
}

void ToolWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Where no window manager gives a new window the keyboard (Xvfb), the window takes it.
  activateWindow();
  FocusFirstParameter();
}

std::vector<QWidget*> ToolWindow::ParameterWidgets() const {
  std::vector<QWidget*> found;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
    if (parameters_->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) found.push_back(w);
  return found;
}

void ToolWindow::OrderFocusChain() {
  // The derived window's widgets were made after the switch and the buttons; Tab walks the
  // parameters first.
  const std::vector<QWidget*> params = ParameterWidgets();
  if (params.empty()) return;
  setTabOrder(params.back(), realtime_);
  setTabOrder(realtime_, execute_);
  setTabOrder(execute_, cancel_);
}

void ToolWindow::FocusFirstParameter() {
  for (QWidget* w : ParameterWidgets()) {
    if (w->isEnabled() && w->isVisibleTo(this)) {
      w->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

}  // namespace vl::edit::ui
