#include "edit/ui/hsv_balance_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

HSVBalanceWindow::HSVBalanceWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("HSV Balance"), ToolKind::kInPlace, ApplyHSVBalance, RunHSVBalance,
                      parent) {
  setObjectName(QStringLiteral("hsvBalanceWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  hue_ =
      new ParamRow(QStringLiteral("hue"), WidgetText(kHueLabel), HSVBalanceParams::kHue, ValueFormat::kDegrees, area);
  saturation_ = new ParamRow(QStringLiteral("saturation"), WidgetText(kSaturationLabel), HSVBalanceParams::kSaturation,
                             ValueFormat::kPercent, area);
  value_ = new ParamRow(QStringLiteral("value"), WidgetText(kValueLabel), HSVBalanceParams::kValue,
                        ValueFormat::kPercent, area);
  layout->addWidget(hue_);
  layout->addWidget(saturation_);
  layout->addWidget(value_);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

HSVBalanceWindow::~HSVBalanceWindow() {
  QuietParameters(parameterArea());
}

HSVBalanceParams HSVBalanceWindow::parameters() const {
  return {hue_->value(), saturation_->value(), value_->value()};
}

}  // namespace vl::edit::ui
