// What the batch converter's and the thumbnailer's windows share: a job on a worker whose
// reports refresh the window (at most one refresh queued), "_Cancel" and Escape that close
// the window only while no job runs, and closing the window during a job stops the job.
#pragma once

#include <QDialog>
#include <atomic>
#include <vector>

#include "tools/job_setup.h"

class QBoxLayout;
class QPushButton;

namespace vl::tools::ui {

class JobWindow : public QDialog {
  Q_OBJECT

 public:
  using QDialog::QDialog;

  bool running() const { return running_; }

 public Q_SLOTS:
  // "S_top": asks the job to end; the window hears when it has.
  virtual void Stop() = 0;
  // "_Cancel" and Escape: close, unless a job runs.
  void reject() override;

 Q_SIGNALS:
  // The job has ended (by itself or stopped) and the statistics show its last counts.
  void finished();

 protected:
  // Closing the window during a job stops the job.
  void closeEvent(QCloseEvent* event) override;
  // From the worker: refresh the statistics soon.
  void Post();
  // Shows the job's counters.
  virtual void Refresh() = 0;
  // Joins the job's worker once it has ended.
  virtual void JoinJob() = 0;

  // The "_Start" (the default button), "S_top" and "_Cancel" row at the window's foot; Stop
  // and Cancel are connected here, Start by the window.
  void AddJobButtons(QBoxLayout* layout);
  // The widgets that stay disabled while a job runs (Start and Cancel come with them).
  void LockWhileRunning(std::vector<QWidget*> fields);
  void UpdateEnabled();
  // From the worker: the job has ended; Ended follows on the GUI thread.
  void PostEnded();
  // Joins the job, shows its last counts and gives the window back to the user.
  void Ended();

  BackgroundStop stopper_;
  bool running_ = false;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* cancel_ = nullptr;

 private:
  std::atomic<bool> refreshQueued_{false};
  std::vector<QWidget*> fields_;
};

}  // namespace vl::tools::ui
