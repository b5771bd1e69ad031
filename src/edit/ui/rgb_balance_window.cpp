#include "edit/ui/rgb_balance_window.h"

#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

RGBBalanceWindow::RGBBalanceWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("RGB Balance"), ToolKind::kInPlace, ApplyRGBBalance, RunRGBBalance,
                      parent) {
  setObjectName(QStringLiteral("rgbBalanceWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  const char* names[] = {"red", "green", "blue", "alpha"};
  for (size_t i = 0; i < channels_.size(); ++i) {
    channels_[i] = new ParamRow(QString::fromUtf8(names[i]), WidgetText(kBalanceChannelLabels[i]),
                                RGBBalanceParams::kChannel, ValueFormat::kPercent, area);
    layout->addWidget(channels_[i]);
  }
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

RGBBalanceWindow::~RGBBalanceWindow() {
  QuietParameters(parameterArea());
}

RGBBalanceParams RGBBalanceWindow::parameters() const {
  return {channels_[0]->value(), channels_[1]->value(), channels_[2]->value(), channels_[3]->value()};
}

}  // namespace vl::edit::ui
