// "Thumbnailer": small PNG versions written beside the pictures of a directory (and its
// subdirectories on request), optionally placed into a template image. The example
// previews show what the settings make of a sample picture. The job runs on its worker;
// the statistics follow it while the window stays usable; "S_top" ends it, "_Cancel"
// closes the window only while no job runs. The window keeps its values for the run.
#pragma once

#include "image/chunky.h"
#include "tools/job_setup.h"
#include "tools/thumbnailer.h"
#include "tools/ui/job_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace vl::tools::ui {

class ThumbnailerWindow : public JobWindow {
  Q_OBJECT

 public:
  explicit ThumbnailerWindow(QWidget* parent = nullptr);
  // Stops a running job and waits for it.
  ~ThumbnailerWindow() override;

  void Open();
  const ThumbnailerJob& job() const { return job_; }
  // The template image read from the "Template image" field; null when it names none.
  const image::Texture* templateImage() const { return template_.get(); }
  // The example thumbnail the preview shows (ARGB32); null when none could be made.
  const image::ChunkyImage* exampleThumbnail() const { return exampleThumb_.get(); }

 public Q_SLOTS:
  // "_Start": checks the suffix ("Error!" requester), the path and the template (a
  // requester says what is wrong), copies the fields into the job and starts it. False
  // when nothing started.
  bool Start();
  void Stop() override;
  // Reads the template image named in its field and redraws the example thumbnail.
  void SetTemplate(const QString& path);

 private:
  void Refresh() override;
  void JoinJob() override;
  void UpdateExample();
  void ChooseDrawer();
  void ChooseDefaultTool();
  void ChooseTemplate();

  ThumbnailerJob job_;
  image::TexturePtr template_;  // outlives every job that uses it
  image::TexturePtr example_;
  image::ChunkyPtr exampleThumb_;

  QLineEdit* path_ = nullptr;
  QPushButton* choosePath_ = nullptr;
  QCheckBox* recursive_ = nullptr;
  QLineEdit* defaultTool_ = nullptr;
  QPushButton* chooseTool_ = nullptr;
  QLineEdit* suffix_ = nullptr;
  QCheckBox* replace_ = nullptr;
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QCheckBox* aspect_ = nullptr;
  QCheckBox* enable_ = nullptr;
  QSpinBox* offsetX_ = nullptr;
  QSpinBox* offsetY_ = nullptr;
  QLineEdit* templatePath_ = nullptr;
  QPushButton* chooseTemplate_ = nullptr;
  QLabel* exampleView_ = nullptr;
  QLabel* thumbView_ = nullptr;
  QLabel* directories_ = nullptr;
  QLabel* files_ = nullptr;
  QLabel* created_ = nullptr;
  QLabel* file_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace vl::tools::ui
