#include "edit/ui/sharpen_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

SharpenWindow::SharpenWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Sharpen"), ToolKind::kInPlace, ApplySharpen, RunSharpen, parent) {
  setObjectName(QStringLiteral("sharpenWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  maskSize_ = new ParamRow(QStringLiteral("maskSize"), WidgetText(kSharpenMaskSizeLabel), SharpenParams::kMaskSize,
                           ValueFormat::kWhole, area);
  strength_ = new ParamRow(QStringLiteral("strength"), WidgetText(kSharpenStrengthLabel), SharpenParams::kStrength,
                           ValueFormat::kHundredths, area);
  layout->addWidget(maskSize_);
  layout->addWidget(strength_);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

SharpenWindow::~SharpenWindow() {
  QuietParameters(parameterArea());
}

SharpenParams SharpenWindow::parameters() const {
  return {maskSize_->value(), strength_->value()};
}

}  // namespace vl::edit::ui
