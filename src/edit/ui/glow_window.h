// The Glow window: "Saturation:", "Mask size:", "Strength:" (hundredths, 0.00-3.00),
// "Threshold:", "Background:" (percent), "_Monochrome:" and the blend-mode chooser offering
// "Add" and "Screen" without an opacity.
#pragma once

#include "edit/composite_ops.h"
#include "edit/ui/tool_window.h"

class QCheckBox;

namespace vl::edit::ui {

class BlendModeChooser;
class ParamRow;

class GlowWindow : public OperationWindow<GlowParams> {
  Q_OBJECT

 public:
  explicit GlowWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~GlowWindow() override;

  GlowParams parameters() const override;

 private:
  ParamRow* saturation_ = nullptr;
  ParamRow* maskSize_ = nullptr;
  ParamRow* strength_ = nullptr;
  ParamRow* threshold_ = nullptr;
  ParamRow* background_ = nullptr;
  QCheckBox* monochrome_ = nullptr;
  BlendModeChooser* blend_ = nullptr;
};

}  // namespace vl::edit::ui
