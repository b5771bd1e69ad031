// "PNG Saver Options...": whether a PNG keeps the picture's alpha channel. Created once with
// the save window; the check mark keeps its state for the run and the save window reads it
// at each save.
#pragma once

#include <QDialog>

#include "app/save.h"

class QCheckBox;

namespace vl::app::ui {

class PngOptionsWindow : public QDialog {
  Q_OBJECT

 public:
  explicit PngOptionsWindow(QWidget* parent = nullptr);

  // Shows the window; while it is open no other window of the program takes input.
  void Open();
  app::PngSaveOptions options() const;

 private:
  QCheckBox* alpha_ = nullptr;
};

}  // namespace vl::app::ui
