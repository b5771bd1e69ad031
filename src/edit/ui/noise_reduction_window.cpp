#include "edit/ui/noise_reduction_window.h"

#include <QStackedWidget>
#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

NoiseReductionWindow::NoiseReductionWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Noise reduction"), ToolKind::kInPlace, ApplyNoiseReduction,
                      RunNoiseReduction, parent) {
  setObjectName(QStringLiteral("noiseReductionWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  const NoiseReductionParams start;
  filter_ = new ChoiceGroup(QStringLiteral("filter"), WidgetText(kNoiseFilterLabel), WidgetTexts(kNoiseFilterLabels),
                            static_cast<int>(start.filter), area);
  layout->addWidget(filter_);

  // One page per filter, in the order of NoiseFilter.
  maskSize_ = new QStackedWidget(area);
  maskSize_->setObjectName(QStringLiteral("maskSizePages"));
  gaussianSize_ = new ParamRow(QStringLiteral("gaussianMaskSize"), WidgetText(kNoiseMaskSizeLabel),
                               NoiseReductionParams::kGaussianMaskSize, ValueFormat::kHundredths, maskSize_);
  medianSize_ = new ParamRow(QStringLiteral("medianMaskSize"), WidgetText(kNoiseMaskSizeLabel),
                             NoiseReductionParams::kMedianSize, ValueFormat::kWhole, maskSize_);
  maskSize_->addWidget(gaussianSize_);
  maskSize_->addWidget(medianSize_);
  maskSize_->setCurrentIndex(filter_->position());
  layout->addWidget(maskSize_);
  connect(filter_, &ChoiceGroup::positionChanged, maskSize_, &QStackedWidget::setCurrentIndex);

  threshold_ = new ParamRow(QStringLiteral("threshold"), WidgetText(kNoiseThresholdLabel),
                            NoiseReductionParams::kThreshold, ValueFormat::kWhole, area);
  layout->addWidget(threshold_);
  const std::vector<QString> modes = {WidgetText(kAlphaModeLabels[0]), WidgetText(kAlphaModeLabels[2])};
  mode_ = new ChoiceGroup(QStringLiteral("mode"), WidgetText(kAlphaMethodLabel), modes, 0, area);
  layout->addWidget(mode_);
  AddResetButton(layout, area, [this] {
    maskSize_->setCurrentIndex(filter_->position());
    ParametersChanged();
  });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

NoiseReductionWindow::~NoiseReductionWindow() {
  QuietParameters(parameterArea());
}

NoiseReductionParams NoiseReductionWindow::parameters() const {
  NoiseReductionParams p;
  p.filter = static_cast<NoiseFilter>(filter_->position());
  p.radius = static_cast<float>(gaussianSize_->value()) / 100.0f;
  p.size = medianSize_->value();
  p.threshold = threshold_->value();
  p.mode = filters::kSelectiveAlphaModes[static_cast<size_t>(mode_->position())];
  return p;
}

}  // namespace vl::edit::ui
