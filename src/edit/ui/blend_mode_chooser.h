// The blend-mode chooser of LayerMergeClass as widgets: the "Mode:" cycle of the offered modes
// and, unless its creator hides it, the "Opacity:" row.
#pragma once

#include <QWidget>
#include <cstdint>

#include "edit/layer_merge.h"

class QComboBox;

namespace vl::edit::ui {

class ParamRow;

class BlendModeChooser : public QWidget {
  Q_OBJECT

 public:
  // mask and showOpacity as for LayerMergeClass.
  BlendModeChooser(uint32_t mask, bool showOpacity, QWidget* parent = nullptr);

  const LayerMergeClass& model() const { return model_; }
  // The chosen mode's bit value.
  uint32_t value() const { return model_.Value(); }
  // False, with the choice unchanged, for a mode that is not offered.
  bool setValue(uint32_t value);
  int opacity() const { return model_.Opacity(); }
  // The first offered mode and full opacity, without reporting the change.
  void Reset();

  QComboBox* modeBox() const { return mode_; }
  ParamRow* opacityRow() const { return opacity_; }

 Q_SIGNALS:
  void changed();

 private:
  LayerMergeClass model_;
  QComboBox* mode_ = nullptr;
  ParamRow* opacity_ = nullptr;
};

}  // namespace vl::edit::ui
