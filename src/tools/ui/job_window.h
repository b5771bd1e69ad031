// What the batch converter's and the thumbnailer's windows share: a job on a worker whose
// reports refresh the window (at most one refresh queued), "_Cancel" and Escape that close
// the window only while no job runs, and closing the window during a job stops the job.
#pragma once

#include <QDialog>
#include <atomic>

#include "tools/job_setup.h"

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

  BackgroundStop stopper_;
  bool running_ = false;

 private:
  std::atomic<bool> refreshQueued_{false};
};

}  // namespace vl::tools::ui
