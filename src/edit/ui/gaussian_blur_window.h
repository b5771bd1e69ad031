// The Gaussian blur window: "Mask size:" (the radius in hundredths) and the "Method" radio of
// the alpha modes.
#pragma once

#include "edit/blur_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ChoiceGroup;
class ParamRow;

class GaussianBlurWindow : public OperationWindow<GaussianBlurParams> {
  Q_OBJECT

 public:
  explicit GaussianBlurWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~GaussianBlurWindow() override;

  GaussianBlurParams parameters() const override;

 private:
  ParamRow* maskSize_ = nullptr;
  ChoiceGroup* mode_ = nullptr;
};

}  // namespace vl::edit::ui
