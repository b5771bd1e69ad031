// "JPEG Saver Options...": quality, optimised coding and subsampling for the JPEG saver, and
// "_Test", which saves the current picture with these options to a temporary file on a
// worker, shows the decoded result in a display area and the file's size below it.
// Created once with the save window; the values stay for the run.
#pragma once

#include <QDialog>
#include <memory>

#include "app/controller.h"
#include "app/jpeg_test.h"
#include "app/save.h"
#include "image/chunky.h"
#include "platform/main_thread_queue.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace vl::display::ui {
class PreviewClass;
}

namespace vl::app::ui {

class JpegOptionsWindow : public QDialog {
  Q_OBJECT

 public:
  // Tests the controller's current picture; results come back through queue (the GUI's
  // own queue when null).
  explicit JpegOptionsWindow(app::Controller& controller, QWidget* parent = nullptr,
                             platform::MainThreadQueue* queue = nullptr);
  ~JpegOptionsWindow() override;

  // Shows the window; while it is open no other window of the program takes input.
  void Open();
  app::JpegSaveOptions options() const;

  // "_Test": starts a test of the current picture unless one runs. A test that cannot
  // start (no picture) shows "Error" at once.
  void StartTest();
  bool testRunning() const { return runner_ && runner_->running(); }
  // The decoded picture of the last test (null before the first and after a failed one).
  const image::Texture* testPicture() const { return testPicture_.get(); }

 Q_SIGNALS:
  // A test's result is shown.
  void testFinished();

 private:
  void ShowTestResult(app::JpegTestResult result);

  app::Controller& controller_;
  QSlider* quality_ = nullptr;
  QLabel* qualityValue_ = nullptr;
  QCheckBox* optimize_ = nullptr;
  QCheckBox* noSubsampling_ = nullptr;
  display::ui::PreviewClass* preview_ = nullptr;
  QLabel* fileSize_ = nullptr;
  QPushButton* test_ = nullptr;
  image::TexturePtr testPicture_;
  std::unique_ptr<app::JpegTestRunner> runner_;
};

}  // namespace vl::app::ui
