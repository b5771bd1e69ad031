// "JPEG Transformations": turns or flips the current picture's JPEG file without decoding it.
// A preview of the picture shows the chosen transformation; the result goes to the file in
// "Output file:" (the picture's own file unless changed), and the picture reloads when its
// own file was replaced. The preview's scaling and the transformation run on workers.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/controller.h"
#include "app/jpeg_transform_job.h"
#include "platform/main_thread_queue.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vl::app::ui {

class JpegTransformWindow : public QDialog {
  Q_OBJECT

 public:
  // The controller outlives the window. Workers report through queue (the GUI's own when null).
  explicit JpegTransformWindow(Controller& controller, QWidget* parent = nullptr,
                               platform::MainThreadQueue* queue = nullptr);
  ~JpegTransformWindow() override;

  // Opens the window on the current picture when its file is a JPEG: the preview is made
  // anew and "Output file:" starts with the picture's path. False (and nothing opens) without
  // a picture or for a file of another type. An open window is only raised.
  bool Open();
  // A transformation is running.
  bool busy() const { return jobs_->transformRunning(); }

 public Q_SLOTS:
  // "_Execute": transforms the file into the output (nothing for "None"). On success the
  // window closes; on failure a requester says why and the window stays open.
  void Execute();
  // The button beside "Output file:": a file requester for the destination.
  void ChooseOutput();

 Q_SIGNALS:
  // A transformation ended (ok: the file was written).
  void transformFinished(bool ok);
  // The preview shows the picture (after Open, once the worker has scaled it).
  void previewShown();

 private:
  formats::JpegTransformation Selected() const;
  void StartPreview();
  void ShowPreview();
  void SetBusy(bool busy);
  void Finished(const JpegTransformResult& result);

  Controller& controller_;
  std::unique_ptr<JpegTransformJobs> jobs_;
  std::string source_;         // the file being transformed (absolute)
  image::ChunkyPtr base_;      // the picture scaled for the preview
  bool previewAgain_ = false;  // a preview was asked for while one was being made
  QLabel* preview_ = nullptr;
  QButtonGroup* choices_ = nullptr;
  QCheckBox* trim_ = nullptr;
  QLineEdit* output_ = nullptr;
  QToolButton* chooseOutput_ = nullptr;
  QPushButton* execute_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QWidget* body_ = nullptr;
};

}  // namespace vl::app::ui
