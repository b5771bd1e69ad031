#include "edit/ui/smooth_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

SmoothWindow::SmoothWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Smooth"), ToolKind::kInPlace, ApplySmooth, RunSmooth, parent) {
  setObjectName(QStringLiteral("smoothWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  horizontal_ = new ParamRow(QStringLiteral("horizontal"), WidgetText(kSmoothHorizontalLabel), SmoothParams::kRadius,
                             ValueFormat::kPixels, area);
  vertical_ = new ParamRow(QStringLiteral("vertical"), WidgetText(kSmoothVerticalLabel), SmoothParams::kRadius,
                           ValueFormat::kPixels, area);
  layout->addWidget(horizontal_);
  layout->addWidget(vertical_);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

SmoothWindow::~SmoothWindow() {
  QuietParameters(parameterArea());
}

SmoothParams SmoothWindow::parameters() const {
  return {horizontal_->value(), vertical_->value()};
}

}  // namespace vl::edit::ui
