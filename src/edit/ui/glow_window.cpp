#include "edit/ui/glow_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/blend_mode_chooser.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

GlowWindow::GlowWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Glow"), ToolKind::kInPlace, ApplyGlow, RunGlow, parent) {
  setObjectName(QStringLiteral("glowWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  saturation_ = new ParamRow(QStringLiteral("saturation"), WidgetText(kGlowSaturationLabel), GlowParams::kSaturation,
                             ValueFormat::kWhole, area);
  maskSize_ = new ParamRow(QStringLiteral("maskSize"), WidgetText(kGlowMaskSizeLabel), GlowParams::kMaskSize,
                           ValueFormat::kWhole, area);
  strength_ = new ParamRow(QStringLiteral("strength"), WidgetText(kGlowStrengthLabel), GlowParams::kStrength,
                           ValueFormat::kHundredths, area);
  threshold_ = new ParamRow(QStringLiteral("threshold"), WidgetText(kGlowThresholdLabel), GlowParams::kThreshold,
                            ValueFormat::kWhole, area);
  background_ = new ParamRow(QStringLiteral("background"), WidgetText(kGlowBackgroundLabel), GlowParams::kBackground,
                             ValueFormat::kPercent, area);
  for (ParamRow* r : {saturation_, maskSize_, strength_, threshold_, background_}) layout->addWidget(r);

  auto* options = new QHBoxLayout();
  auto* monochromeLabel = new QLabel(WidgetText(kGlowMonochromeLabel), area);
  monochrome_ = new QCheckBox(area);
  monochrome_->setObjectName(QStringLiteral("monochrome"));
  monochrome_->setChecked(GlowParams().monochrome);
  monochromeLabel->setBuddy(monochrome_);
  options->addWidget(monochromeLabel);
  options->addWidget(monochrome_);
  options->addSpacing(24);
  blend_ = new BlendModeChooser(GlowParams::kModes, false, area);
  blend_->setValue(GlowParams().mode);
  options->addWidget(blend_, 1);
  layout->addLayout(options);

  AddResetButton(layout, area, [this] {
    {
      const QSignalBlocker block(monochrome_);
      monochrome_->setChecked(GlowParams().monochrome);
    }
    blend_->Reset();
    ParametersChanged();
  });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
  connect(monochrome_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  connect(blend_, &BlendModeChooser::changed, this, [this] { ParametersChanged(); });
}

GlowWindow::~GlowWindow() {
  QuietParameters(parameterArea());
}

GlowParams GlowWindow::parameters() const {
  GlowParams p;
  p.saturation = saturation_->value();
  p.maskSize = maskSize_->value();
  p.strength = strength_->value();
  p.threshold = threshold_->value();
  p.background = background_->value();
  p.monochrome = monochrome_->isChecked();
  p.mode = blend_->value();
  return p;
}

}  // namespace vl::edit::ui
