#include "edit/ui/median_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

MedianWindow::MedianWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Median"), ToolKind::kInPlace, ApplyMedian, RunMedian, parent) {
  setObjectName(QStringLiteral("medianWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  const MedianParams start;
  radius_ = new ParamRow(QStringLiteral("radius"), WidgetText(kMedianRadiusLabel), MedianParams::kRadius,
                         ValueFormat::kPixels, area);
  method_ = new ChoiceGroup(QStringLiteral("method"), WidgetText(kMedianMethodLabel), WidgetTexts(kMedianMethodLabels),
                            static_cast<int>(start.method), area);
  mask_ = new ChoiceGroup(QStringLiteral("mask"), WidgetText(kMedianMaskLabel), WidgetTexts(kMaskLabels),
                          start.circular ? 1 : 0, area);
  layout->addWidget(radius_);
  auto* choices = new QHBoxLayout();
  choices->addWidget(method_);
  choices->addWidget(mask_);
  layout->addLayout(choices);
  AddResetButton(layout, area, [this] { ParametersChanged(); });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
}

MedianWindow::~MedianWindow() {
  QuietParameters(parameterArea());
}

MedianParams MedianWindow::parameters() const {
  MedianParams p;
  p.method = static_cast<RankMethod>(method_->position());
  p.radius = radius_->value();
  p.circular = mask_->position() == 1;
  return p;
}

}  // namespace vl::edit::ui
