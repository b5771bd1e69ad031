// The crop window: the rectangle as "Left:", "Top:", "Width:" and "Height:", the border finder
// ("Tolerance:" and "_Auto") and the shape the rectangle keeps ("Aspect:"). With a display the
// fields and the display's selection rectangle follow each other: dragging the rectangle with
// Shift and the left button fills the fields, typing moves the rectangle. Execute replaces
// the picture by the rectangle's pixels.
#pragma once

#include <QPointer>
#include <array>

#include "display/ui/preview.h"
#include "edit/geometry_ops.h"
#include "edit/ui/tool_window.h"

class QComboBox;
class QSpinBox;

namespace vl::edit::ui {

class ParamRow;

class CropWindow : public OperationWindow<CropParams> {
  Q_OBJECT

 public:
  explicit CropWindow(app::Controller& controller, display::ui::PreviewClass* display = nullptr,
                      QWidget* parent = nullptr);
  ~CropWindow() override;

  CropParams parameters() const override;

 private:
  void LoadFromPicture(const image::ChunkyImage& picture) override;
  // Shows rect in the fields without reporting each field's change.
  void ShowRect(const CropParams& rect);
  // The fields changed: the display's rectangle follows.
  void FieldsChanged();
  // The display's rectangle changed under the mouse: the fields follow.
  void SelectionMoved();
  // The fields take the display's rectangle (when it is not empty).
  void ShowSelection();
  // "_Auto": the rectangle inside the picture's uniform border.
  void FindBorders();
  void AspectChosen();
  // The whole picture, free of any shape.
  void ResetRect();

  QPointer<display::ui::PreviewClass> display_;
  ParamRow* tolerance_ = nullptr;
  std::array<QSpinBox*, 4> fields_{};  // left, top, width, height
  QComboBox* aspect_ = nullptr;
  int32_t pictureWidth_ = 0, pictureHeight_ = 0;
};

}  // namespace vl::edit::ui
