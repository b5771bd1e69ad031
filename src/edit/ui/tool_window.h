// The base of every tool window: a parameter area that the derived window fills, the
// "Realtime:" switch and the buttons "_Execute" and "_Cancel".
//
// Open() needs a current picture; the window then reports opened(), and closed() once it
// has gone again, whichever way it closed (Execute, Cancel, Escape, the window manager's
// close button, close()). The main window disables its menus and contents in between.
// Closing without Execute cancels: the controller puts the picture back as it was.
//
// Two kinds of operation: in-place operations read the edit backup and write the current
// picture; Execute then commits the edit, so the picture before the window's first change
// becomes the undo image. Operations that change the size replace the picture through
// ReplaceChunky on Execute and have no preview.
//
// An in-place operation with a Run previews on a worker thread (edit/realtime_preview.h): the
// window takes the edit backup when it opens, every run reads the worker's copy of it and
// writes a private buffer, and a finished result's pixels are swapped into the current
// picture. The event loop never waits for a run. "_Execute" then waits for the result of the
// final parameters without blocking: it disables "_Execute", "Realtime:" and the parameters,
// and the window commits and closes when that result is shown (at once when it is shown
// already). The result is the Run's on the backup, the bytes that Apply gives on the picture
// as it was. Any other close drops the runs (one in flight ends at its next piece, unseen) and
// restores the backup.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/controller.h"
#include "edit/operation.h"
#include "edit/realtime_preview.h"
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
  // closes unless the step failed. A step that waits for a preview run finishes later.
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
  // The execute step: it ends with FinishExecute(), at once or from the queue.
  virtual void StartExecute() = 0;
  // The execute step ended; false when it failed (the window then stays open).
  void FinishExecute(bool ok);

  // Whether the preview runs on the worker thread (the backup is then taken on opening).
  virtual bool PreviewsOnWorker() const { return false; }
  // Starts a preview run on the edit backup (taken now unless it exists). False without a
  // picture or a backup.
  bool RequestPreview(RealtimePreview::Run run);
  // The last preview run was requested after the last change of the parameters.
  bool PreviewUpToDate() const { return previewedChange_ == changes_; }
  // Finishes the execute step when the newest preview run's result is shown.
  void FinishWithPreview();

  void showEvent(QShowEvent* event) override;

 private:
  // Shows a finished preview: its pixels go into the current picture.
  void ShowPreview(image::ChunkyImage& result);
  // While an execute step waits, only "_Cancel" takes input.
  void SetWaiting(bool waiting);

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

  std::unique_ptr<RealtimePreview> preview_;  // made on the first preview
  uint64_t changes_ = 1;                      // counts ParametersChanged()
  uint64_t previewedChange_ = 0;              // changes_ at the last preview request
  bool executing_ = false;                    // an execute step has started and not ended
  bool waiting_ = false;                      // ... and is waiting for a run
};

// A tool window whose parameters are one value struct and whose operation is one edit
// step, Apply(controller, params) answering 0 on success, with the Run of the same operation
// (edit/operation.h) for a preview on private buffers. The preview and the execute step take
// a copy of the parameters, so that the preview runs on a worker thread while the widgets
// keep changing. Without a Run (or for a size change), the preview and the execute step are
// Apply itself, on the GUI thread.
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

  // The realtime hook: in-place operations run params on the backup, on the worker thread
  // when they have a Run.
  virtual void Preview(const Params& params) {
    if (kind() != ToolKind::kInPlace) return;
    if (run_)
      RequestPreview(Bound(params));
    else
      apply_(controller(), params);
  }
  RunFn run() const { return run_; }

 private:
  void PreviewStep() final { Preview(parameters()); }
  bool PreviewsOnWorker() const final { return kind() == ToolKind::kInPlace && run_; }
  void StartExecute() final {
    if (kind() != ToolKind::kInPlace || !run_) {
      FinishExecute(apply_(controller(), parameters()) == 0);
      return;
    }
    // The run shown or on its way has the final parameters unless they changed since.
    if (!PreviewUpToDate() && !RequestPreview(Bound(parameters()))) {
      FinishExecute(false);
      return;
    }
    FinishWithPreview();
  }
  // The run of params alone.
  RealtimePreview::Run Bound(const Params& params) const {
    return [run = run_, params](const image::ChunkyImage& src, image::ChunkyImage& dst, const StopFlag& stop) {
      return run(src, dst, params, stop);
    };
  }

  ApplyFn apply_;
  RunFn run_;
};

}  // namespace vl::edit::ui
