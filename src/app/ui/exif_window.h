// "EXIF Informations": the camera data of the current picture, a line for each fact, beside
// the main window. It shows the controller's EXIF model and follows it: opened and closed
// with the model, its lines rebuilt whenever a picture is read.
#pragma once

#include <QDialog>

#include "app/controller.h"

class QFormLayout;

namespace vl::app::ui {

class ExifWindow : public QDialog {
  Q_OBJECT

 public:
  // model outlives the window.
  explicit ExifWindow(ExifWindowModel& model, QWidget* parent = nullptr);
  ~ExifWindow() override;

 Q_SIGNALS:
  // The user closed the window (its close button or Escape), as opposed to the program
  // closing it for a picture that is not a JPEG.
  void closedByUser();

 private:
  // Shows the model: its open state and its lines.
  void Update();

  ExifWindowModel& model_;
  QFormLayout* lines_ = nullptr;
};

}  // namespace vl::app::ui
