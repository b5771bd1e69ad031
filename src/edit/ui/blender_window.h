// The Blender window: "Background color:" (the colour requester "Background color..." or the
// colour picker's colour), onto which the picture's transparency is flattened.
#pragma once

#include <cstdint>
#include <functional>

#include "edit/composite_ops.h"
#include "edit/ui/tool_window.h"

class QPushButton;

namespace vl::edit::ui {

class BlenderWindow : public OperationWindow<BlenderParams> {
  Q_OBJECT

 public:
  // pickedColour answers the colour picker's current colour (0xAARRGGBB) for "From picker".
  BlenderWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent = nullptr);
  ~BlenderWindow() override;

  BlenderParams parameters() const override;

  // Opens like Open(), but only on a picture with transparency: on one without, the
  // requester says why (edit::BlenderAccepts) and nothing opens.
  bool OpenOnTransparency();

  // 0xRRGGBB.
  uint32_t background() const { return background_; }
  void SetBackground(uint32_t rgb);

 private:
  // The colour requester "Background color...".
  void ChooseBackground();

  std::function<uint32_t()> pickedColour_;
  uint32_t background_ = BlenderParams().background;
  QPushButton* colour_ = nullptr;
};

}  // namespace vl::edit::ui
