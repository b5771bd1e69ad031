#include "edit/ui/blend_mode_chooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

#include "edit/ui/param_row.h"

namespace vl::edit::ui {

BlendModeChooser::BlendModeChooser(uint32_t mask, bool showOpacity, QWidget* parent)
    : QWidget(parent), model_(mask, showOpacity) {
  setObjectName(QStringLiteral("blendMode"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(WidgetText(kBlendModeLabel), this);
  mode_ = new QComboBox(this);
  mode_->setObjectName(QStringLiteral("mode"));
  for (const BlendModeEntry& e : model_.Entries()) mode_->addItem(QString::fromUtf8(e.label), e.value);
  mode_->setCurrentIndex(model_.ActiveIndex());
  label->setBuddy(mode_);
  layout->addWidget(label);
  layout->addWidget(mode_);
  layout->addStretch(1);
  connect(mode_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (model_.SetActiveIndex(index)) Q_EMIT changed();
  });
  if (model_.OpacityShown()) {
    opacity_ = new ParamRow(QStringLiteral("opacity"), WidgetText(kOpacityLabel), IntRange{0, 100, 100},
                            ValueFormat::kPercent, this);
    layout->addWidget(opacity_, 1);
    connect(opacity_, &ParamRow::valueChanged, this, [this](int v) {
      if (model_.SetOpacity(v)) Q_EMIT changed();
    });
  }
}

bool BlendModeChooser::setValue(uint32_t value) {
  if (!model_.SetValue(value)) return false;
  mode_->setCurrentIndex(model_.ActiveIndex());
  return true;
}

void BlendModeChooser::Reset() {
  const QSignalBlocker block(this);
  mode_->setCurrentIndex(0);
  if (opacity_) opacity_->Reset();
}

}  // namespace vl::edit::ui
