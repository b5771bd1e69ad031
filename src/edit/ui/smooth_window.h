// The Smooth window: the box blur's "Horizontal:" and "Vertical:" radii in pixels.
#pragma once

#include "edit/blur_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ParamRow;

class SmoothWindow : public OperationWindow<SmoothParams> {
  Q_OBJECT

 public:
  explicit SmoothWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~SmoothWindow() override;

  SmoothParams parameters() const override;

 private:
  ParamRow* horizontal_ = nullptr;
  ParamRow* vertical_ = nullptr;
};

}  // namespace vl::edit::ui
