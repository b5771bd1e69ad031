// "Batch converter": the pictures of a source directory converted to JPEG files in a
// destination directory. The job runs on its worker; the statistics follow it while the
// window stays usable; "S_top" ends it, "_Cancel" closes the window only while no job
// runs. The window keeps its values for the run.
#pragma once

#include <QDialog>
#include <atomic>

#include "tools/batch_convert.h"
#include "tools/job_setup.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace vl::tools::ui {

class BatchConvertWindow : public QDialog {
  Q_OBJECT

 public:
  explicit BatchConvertWindow(QWidget* parent = nullptr);
  // Stops a running job and waits for it.
  ~BatchConvertWindow() override;

  void Open();
  bool running() const { return running_; }
  const BatchJob& job() const { return job_; }

 public Q_SLOTS:
  // "_Start": checks the paths (a requester says what is wrong), copies the fields into the
  // job and starts it. False when nothing started.
  bool Start();
  // "S_top": asks the job to end; the window hears when it has.
  void Stop();
  // "_Cancel" and Escape: close, unless a job runs.
  void reject() override;

 Q_SIGNALS:
  // The job has ended (by itself or stopped) and the statistics show its last counts.
  void finished();

 protected:
  // Closing the window during a job stops the job.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Post();  // from the worker: refresh the statistics soon (at most one refresh queued)
  void Refresh();
  void Ended();
  void UpdateEnabled();
  void ChooseDrawer(QLineEdit* field);

  BatchJob job_;
  BackgroundStop stopper_;
  bool running_ = false;
  std::atomic<bool> refreshQueued_{false};

  QLineEdit* source_ = nullptr;
  QLineEdit* dest_ = nullptr;
  QPushButton* chooseSource_ = nullptr;
  QPushButton* chooseDest_ = nullptr;
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QCheckBox* enlarge_ = nullptr;
  QCheckBox* reduce_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QLabel* scanned_ = nullptr;
  QLabel* converted_ = nullptr;
  QLabel* file_ = nullptr;
  QLabel* difference_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vl::tools::ui
