// The Sharpen window: "Mask size:" and "Strength:" (hundredths, shown 0.00-1.00).
#pragma once

#include "edit/blur_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ParamRow;

class SharpenWindow : public OperationWindow<SharpenParams> {
  Q_OBJECT

 public:
  explicit SharpenWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~SharpenWindow() override;

  SharpenParams parameters() const override;

 private:
  ParamRow* maskSize_ = nullptr;
  ParamRow* strength_ = nullptr;
};

}  // namespace vl::edit::ui
