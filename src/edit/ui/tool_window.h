// The base of every tool window: a parameter area that the derived window fills, the
// "Realtime:" switch and the buttons "_Execute" and "_Cancel".
//
// Open() needs a current picture; the window then reports opened(), and closed() once it
// has gone again, whichever way it closed (Execute, Cancel, Escape, the window manager's
// close button, close()). The main window disables its menus and contents in between.
// Closing without Execute cancels: the controller puts the picture back as it was.
//
// Two kinds of operation: in-place operations read the edit backup and write the current
// picture (their preview and their execute step are the same Apply); Execute then commits
// the edit, so the picture before the window's first change becomes the undo image.
// Operations that change the size replace the picture through ReplaceChunky on Execute and
// have no preview.
#pragma once

#include <QDialog>
#include <vector>

#include "app/controller.h"
#include "edit/operation.h"
#include "image/chunky.h"

class QCheckBox;
class QPushButton;

namespace vl::edit::ui {

enum class ToolKind { kInPlace, kReplace };

class ToolWindow : public QDialog {
  Q_OBJECT

 public:
  ~ToolWindow() override;

  // Opens the window on the current picture (or raises it when it is open already). False,
  // with nothing opened, without a current picture.
  bool Open();
  bool isOpen() const { return open_; }

  ToolKind kind() const { return kind_; }
  app::Controller& controller() const { return controller_; }
  // The derived window's widgets live here.
  QWidget* parameterArea() const { return parameters_; }
  QCheckBox* realtimeSwitch() const { return realtime_; }

 Q_SIGNALS:
  void opened();
  void closed();

 public Q_SLOTS:
  // "_Execute": the derived window's execute step, then (in place) CommitEdit; the window
  // closes unless the step failed.
  void Execute();
  // Every way of closing ends here; a close that is not an Execute cancels the edit.
  void done(int result) override;

 protected:
  ToolWindow(app::Controller& controller, const QString& title, ToolKind kind, QWidget* parent);

  // The derived window calls this after each change of a parameter; with "Realtime:" on it
  // runs the preview.
  void ParametersChanged();

  // Takes the current picture's values when the window opens (the resize window's sizes).
  virtual void LoadFromPicture(const image::ChunkyImage& picture) { (void)picture; }
  // The preview of the parameters as they are now (in-place operations only).
  virtual void PreviewStep() {}
  // The execute step; false when it failed (the window then stays open).
  virtual bool ExecuteStep() = 0;

  void showEvent(QShowEvent* event) override;

 private:
  // The widgets of the parameter area that take the focus, in focus-chain order.
  std::vector<QWidget*> ParameterWidgets() const;
  void OrderFocusChain();
  void FocusFirstParameter();

  app::Controller& controller_;
  ToolKind kind_;
  bool open_ = false;
  bool focusOrdered_ = false;
  QWidget* parameters_ = nullptr;
  QCheckBox* realtime_ = nullptr;
  QPushButton* execute_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// A tool window whose parameters are one value struct and whose operation is one edit
// step, Apply(controller, params) answering 0 on success, with the Run of the same operation
// (edit/operation.h) for a preview on private buffers. The preview and the execute step take
// a copy of the parameters, so that the preview can run on a worker thread while the widgets
// keep changing.
template <typename Params>
class OperationWindow : public ToolWindow {
 public:
  using ApplyFn = int (*)(app::Controller&, const Params&);
  // Null for operations that change the size (they have no preview).
  using RunFn = bool (*)(const image::ChunkyImage&, image::ChunkyImage&, const Params&, const StopFlag&);

  // The parameters as the widgets show them now.
  virtual Params parameters() const = 0;

 protected:
  OperationWindow(app::Controller& controller, const QString& title, ToolKind kind, ApplyFn apply, RunFn run,
                  QWidget* parent)
      : ToolWindow(controller, title, kind, parent), apply_(apply), run_(run) {}

  // The realtime hook: in-place operations apply params from the backup into the picture.
  virtual void Preview(const Params& params) {
    if (kind() == ToolKind::kInPlace) apply_(controller(), params);
  }
  RunFn run() const { return run_; }

 private:
  void PreviewStep() final { Preview(parameters()); }
  bool ExecuteStep() final { return apply_(controller(), parameters()) == 0; }

  ApplyFn apply_;
  RunFn run_;
};

}  // namespace vl::edit::ui
