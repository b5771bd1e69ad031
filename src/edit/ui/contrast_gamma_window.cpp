#include "edit/ui/contrast_gamma_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

ContrastGammaWindow::ContrastGammaWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Contrast/Gamma"), ToolKind::kInPlace, ApplyContrastGamma,
                      RunContrastGamma, parent) {
  setObjectName(QStringLiteral("contrastGammaWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  contrast_ = new ParamRow(QStringLiteral("contrast"), WidgetText(kContrastLabel), ContrastGammaParams::kContrast,
                           ValueFormat::kHundredths, area);
  gamma_ = new ParamRow(QStringLiteral("gamma"), WidgetText(kGammaLabel), ContrastGammaParams::kGamma,
                        ValueFormat::kHundredths, area);
  mode_ = AlphaModeGroup(area);
  layout->addWidget(contrast_);
  layout->addWidget(gamma_);
  layout->addWidget(mode_);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

ContrastGammaWindow::~ContrastGammaWindow() {
  QuietParameters(parameterArea());
}

ContrastGammaParams ContrastGammaWindow::parameters() const {
  ContrastGammaParams p;
  p.contrast = contrast_->value();
  p.gamma = gamma_->value();
  p.mode = filters::AlphaModeFromRadio(mode_->position());
  return p;
}

}  // namespace vl::edit::ui
