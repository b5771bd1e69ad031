// The Noise reduction window: the "Filter" (the selective Gaussian blur or the selective
// median) switches the "Mask size: " page between the blur's radius in hundredths and the
// median's size; "Threshold: " and the two alpha modes the selective filters take.
#pragma once

#include "edit/blur_ops.h"
#include "edit/ui/tool_window.h"

class QStackedWidget;

namespace vl::edit::ui {

class ChoiceGroup;
class ParamRow;

class NoiseReductionWindow : public OperationWindow<NoiseReductionParams> {
  Q_OBJECT

 public:
  explicit NoiseReductionWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~NoiseReductionWindow() override;

  NoiseReductionParams parameters() const override;

 private:
  ChoiceGroup* filter_ = nullptr;
  QStackedWidget* maskSize_ = nullptr;
  ParamRow* gaussianSize_ = nullptr;
  ParamRow* medianSize_ = nullptr;
  ParamRow* threshold_ = nullptr;
  ChoiceGroup* mode_ = nullptr;
};

}  // namespace vl::edit::ui
