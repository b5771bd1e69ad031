#include "edit/ui/straighten_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "display/ui/preview.h"
#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

StraightenWindow::StraightenWindow(app::Controller& controller, display::ui::PreviewClass* display, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Straighten"), ToolKind::kInPlace, ApplyStraighten, RunStraighten,
                      parent) {
  setObjectName(QStringLiteral("straightenWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  angle_ = new ParamRow(QStringLiteral("angle"), WidgetText(kStraightenAngleLabel), StraightenParams::kAngle,
                        ValueFormat::kHundredths, area);
  angle_->field()->setSuffix(QStringLiteral(" degrees"));
  layout->addWidget(angle_);
  auto* options = new QHBoxLayout();
  auto* scaleLabel = new QLabel(WidgetText(kStraightenScaleLabel), area);
  scaleToFit_ = new QCheckBox(area);
  scaleToFit_->setObjectName(QStringLiteral("scaleToFit"));
  scaleLabel->setBuddy(scaleToFit_);
  options->addWidget(scaleLabel);
  options->addWidget(scaleToFit_);
  options->addStretch(1);
  layout->addLayout(options);
  AddResetButton(layout, area, [this] {
    const QSignalBlocker quiet(scaleToFit_);
    scaleToFit_->setChecked(false);
    ParametersChanged();
  });
  AlignRows(area);
  ConnectChanges(area, [this] { ParametersChanged(); });
  connect(scaleToFit_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  if (display) {
    QPointer<display::ui::PreviewClass> shown(display);
    connect(this, &ToolWindow::opened, this, [shown] {
      if (shown) shown->SetGrid(true);
    });
    connect(this, &ToolWindow::closed, this, [shown] {
      if (shown) shown->SetGrid(false);
    });
  }
}

StraightenWindow::~StraightenWindow() {
  QuietParameters(parameterArea());
}

StraightenParams StraightenWindow::parameters() const {
  StraightenParams p;
  p.angle = static_cast<float>(angle_->value()) / 100.0f;
  p.scaleToFit = scaleToFit_->isChecked();
  return p;
}

}  // namespace vl::edit::ui
