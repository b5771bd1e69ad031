// The Median window: "Radius:" in pixels, the "Method" (minimum, maximum, median) and the
// "Mask" (rectangular, circular).
#pragma once

#include "edit/blur_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ChoiceGroup;
class ParamRow;

class MedianWindow : public OperationWindow<MedianParams> {
  Q_OBJECT

 public:
  explicit MedianWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~MedianWindow() override;

  MedianParams parameters() const override;

 private:
  ParamRow* radius_ = nullptr;
  ChoiceGroup* method_ = nullptr;
  ChoiceGroup* mask_ = nullptr;
};

}  // namespace vl::edit::ui
