// The straighten window: "Angle:" (hundredths of a degree) and "Scale to fit:". While it is
// open, the display shows a grid over the picture to line the picture up against.
#pragma once

#include "edit/geometry_ops.h"
#include "edit/ui/tool_window.h"

class QCheckBox;

namespace vl::display::ui {
class PreviewClass;
}

namespace vl::edit::ui {

class ParamRow;

class StraightenWindow : public OperationWindow<StraightenParams> {
  Q_OBJECT

 public:
  // display, when given, shows the grid while the window is open.
  explicit StraightenWindow(app::Controller& controller, display::ui::PreviewClass* display = nullptr,
                            QWidget* parent = nullptr);
  ~StraightenWindow() override;

  StraightenParams parameters() const override;

 private:
  ParamRow* angle_ = nullptr;
  QCheckBox* scaleToFit_ = nullptr;
};

}  // namespace vl::edit::ui
