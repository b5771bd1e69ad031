#include "edit/ui/gaussian_blur_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

GaussianBlurWindow::GaussianBlurWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Gaussian blur"), ToolKind::kInPlace, ApplyGaussianBlur,
                      RunGaussianBlur, parent) {
  setObjectName(QStringLiteral("gaussianBlurWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  maskSize_ = new ParamRow(QStringLiteral("maskSize"), WidgetText(kGaussianMaskSizeLabel),
                           GaussianBlurParams::kMaskSize, ValueFormat::kHundredths, area);
  mode_ = AlphaModeGroup(area);
  layout->addWidget(maskSize_);
  layout->addWidget(mode_);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

GaussianBlurWindow::~GaussianBlurWindow() {
  QuietParameters(parameterArea());
}

GaussianBlurParams GaussianBlurWindow::parameters() const {
  GaussianBlurParams p;
  p.radius = static_cast<float>(maskSize_->value()) / 100.0f;
  p.mode = filters::AlphaModeFromRadio(mode_->position());
  return p;
}

}  // namespace vl::edit::ui
