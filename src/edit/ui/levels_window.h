// The Levels window: the histogram of the picture, "Minimum:" and "Maximum", the alpha-mode
// radio and "_Auto", which sets the two from the picture as it was when the window opened.
//
// The operation needs Minimum below Maximum. When one is moved onto or past the other, the
// other gives way (edit::KeepLevelsApart): at once for a slider, and for a number being typed
// once the typing ends, so that the digits of "200" do not push the other level about on the
// way. The parameters are always the pair after giving way.
#pragma once

#include "edit/levels_tool.h"
#include "edit/tone_ops.h"
#include "edit/ui/tool_window.h"

class QPushButton;

namespace vl::edit::ui {

class ChoiceGroup;
class HistogramView;
class ParamRow;

class LevelsWindow : public OperationWindow<LevelsParams> {
  Q_OBJECT

 public:
  explicit LevelsWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~LevelsWindow() override;

  LevelsParams parameters() const override;

  // "_Auto": the range measured on the edit backup (the picture itself before the first
  // change) for the chosen mode.
  void AutoLevels();

 private:
  void LoadFromPicture(const image::ChunkyImage& picture) override;
  // low or high changed: the markers follow, the change is reported.
  void LevelChanged(bool lowMoved);
  // The widgets show the pair after giving way.
  void SettleLevels();
  void ShowLevels(const LevelsParams& params);

  HistogramView* histogram_ = nullptr;
  ParamRow* low_ = nullptr;
  ParamRow* high_ = nullptr;
  ChoiceGroup* mode_ = nullptr;
  QPushButton* auto_ = nullptr;
  bool lowMovedLast_ = true;
};

}  // namespace vl::edit::ui
