// The Contrast/Gamma window: "Contrast" and "Gamma" in hundredths and the alpha-mode radio.
#pragma once

#include "edit/tone_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ChoiceGroup;
class ParamRow;

class ContrastGammaWindow : public OperationWindow<ContrastGammaParams> {
  Q_OBJECT

 public:
  explicit ContrastGammaWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~ContrastGammaWindow() override;

  ContrastGammaParams parameters() const override;

 private:
  ParamRow* contrast_ = nullptr;
  ParamRow* gamma_ = nullptr;
  ChoiceGroup* mode_ = nullptr;
};

}  // namespace vl::edit::ui
