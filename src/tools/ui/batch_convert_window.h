// "Batch converter": the pictures of a source directory converted to JPEG files in a
// destination directory. The job runs on its worker; the statistics follow it while the
// window stays usable; "S_top" ends it, "_Cancel" closes the window only while no job
// runs. The window keeps its values for the run.
#pragma once

#include "tools/batch_convert.h"
#include "tools/job_setup.h"
#include "tools/ui/job_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace vl::tools::ui {

class BatchConvertWindow : public JobWindow {
  Q_OBJECT

 public:
  explicit BatchConvertWindow(QWidget* parent = nullptr);
  // Stops a running job and waits for it.
  ~BatchConvertWindow() override;

  void Open();
  const BatchJob& job() const { return job_; }

 public Q_SLOTS:
  // "_Start": checks the paths (a requester says what is wrong), copies the fields into the
  // job and starts it. False when nothing started.
  bool Start();
  void Stop() override;

 private:
  void Refresh() override;
  void JoinJob() override;
  void ChooseDrawer(QLineEdit* field);

  BatchJob job_;

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
};

}  // namespace vl::tools::ui
