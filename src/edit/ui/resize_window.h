// The resize window "Size": the new width and height (each with "x2" and "/2"), the aspect
// rule, the resampling filter and the border. "_Execute" scales the picture through
// ReplaceChunky (no undo step); see edit/resize_rules.h for the rules behind the fields.
#pragma once

#include <cstdint>
#include <functional>

#include "edit/geometry_ops.h"
#include "edit/resize_rules.h"
#include "edit/ui/tool_window.h"

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QSpinBox;

namespace vl::edit::ui {

class ResizeWindow : public OperationWindow<ScaleParams> {
  Q_OBJECT

 public:
  // pickedColour answers the colour picker's current colour (0xAARRGGBB) for "From picker".
  ResizeWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent = nullptr);

  ScaleParams parameters() const override;
  uint32_t borderColor() const { return borderColor_; }
  void SetBorderColor(uint32_t argb);

 private:
  void LoadFromPicture(const image::ChunkyImage& picture) override;
  // Shows the fields' values in the spin boxes without firing their changes.
  void ShowFields();
  // A change of the fields from any widget: shown, then reported.
  void FieldsChanged();
  // The colour requester "Border color...".
  void ChooseBorderColor();

  ResizeFields fields_;
  std::function<uint32_t()> pickedColour_;
  uint32_t borderColor_ = 0xFF000000;  // opaque black

  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QCheckBox* preserveAspect_ = nullptr;
  QButtonGroup* filter_ = nullptr;
  QCheckBox* border_ = nullptr;
  QPushButton* color_ = nullptr;
};

}  // namespace vl::edit::ui
