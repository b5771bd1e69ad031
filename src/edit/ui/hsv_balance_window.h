// The HSV Balance window: "Hue:" in degrees, "Saturation" and "Value:" in percent.
#pragma once

#include "edit/tone_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ParamRow;

class HSVBalanceWindow : public OperationWindow<HSVBalanceParams> {
  Q_OBJECT

 public:
  explicit HSVBalanceWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~HSVBalanceWindow() override;

  HSVBalanceParams parameters() const override;

 private:
  ParamRow* hue_ = nullptr;
  ParamRow* saturation_ = nullptr;
  ParamRow* value_ = nullptr;
};

}  // namespace vl::edit::ui
