// The RGB Balance window: "Red:", "Green", "Blue:" and "Alpha:" in percent.
#pragma once

#include <array>

#include "edit/tone_ops.h"
#include "edit/ui/tool_window.h"

namespace vl::edit::ui {

class ParamRow;

class RGBBalanceWindow : public OperationWindow<RGBBalanceParams> {
  Q_OBJECT

 public:
  explicit RGBBalanceWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~RGBBalanceWindow() override;

  RGBBalanceParams parameters() const override;

 private:
  std::array<ParamRow*, 4> channels_{};  // red, green, blue, alpha
};

}  // namespace vl::edit::ui
