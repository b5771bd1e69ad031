#include "edit/ui/levels_window.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "edit/tool_labels.h"
#include "edit/ui/histogram_view.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

LevelsWindow::LevelsWindow(app::Controller& controller, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Levels"), ToolKind::kInPlace, ApplyLevels, RunLevels, parent) {
  setObjectName(QStringLiteral("levelsWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  histogram_ = new HistogramView(area);
  layout->addWidget(histogram_);
  low_ =
      new ParamRow(QStringLiteral("low"), WidgetText(kLevelsLowLabel), LevelsParams::kLow, ValueFormat::kWhole, area);
  high_ = new ParamRow(QStringLiteral("high"), WidgetText(kLevelsHighLabel), LevelsParams::kHigh, ValueFormat::kWhole,
                       area);
  mode_ = AlphaModeGroup(area);
  layout->addWidget(low_);
  layout->addWidget(high_);
  layout->addWidget(mode_);
  auto_ = AreaButton(WidgetText(kLevelsAutoLabel), QStringLiteral("auto"), area);
  AddResetButton(layout, area,
                 [this] {
                   ShowLevels(parameters());
                   histogram_->setAlphaOnly(parameters().mode == filters::kAlphaOnly);
                   ParametersChanged();
                 },
                 {auto_});
  AlignRows(area);
  histogram_->setMarkers(low_->value(), high_->value());

  connect(low_, &ParamRow::valueChanged, this, [this] { LevelChanged(true); });
  connect(high_, &ParamRow::valueChanged, this, [this] { LevelChanged(false); });
  // A slider's move is whole at once; a typed number when the typing ends.
  for (ParamRow* row : {low_, high_}) {
    connect(row->slider(), &QSlider::valueChanged, this, &LevelsWindow::SettleLevels);
    connect(row->field(), &QAbstractSpinBox::editingFinished, this, &LevelsWindow::SettleLevels);
  }
  connect(mode_, &ChoiceGroup::positionChanged, this, [this] {
    histogram_->setAlphaOnly(parameters().mode == filters::kAlphaOnly);
    ParametersChanged();
  });
  connect(auto_, &QPushButton::clicked, this, &LevelsWindow::AutoLevels);
}

LevelsWindow::~LevelsWindow() {
  QuietParameters(parameterArea());
}

LevelsParams LevelsWindow::parameters() const {
  LevelsParams p;
  p.low = low_->value();
  p.high = high_->value();
  p.mode = filters::AlphaModeFromRadio(mode_->position());
  KeepLevelsApart(p, lowMovedLast_);
  return p;
}

void LevelsWindow::AutoLevels() {
  const image::Texture* backup = controller().editBackup();
  const image::ChunkyImage* source = backup ? backup->chunky : CurrentChunky(controller());
  if (!isOpen() || !source) return;
  LevelsParams p = parameters();
  if (!AutoLevelsFrom(*source, p)) return;
  ShowLevels(p);
  ParametersChanged();
}

void LevelsWindow::LoadFromPicture(const image::ChunkyImage& picture) {
  histogram_->setHistogram(CountHistogram(picture));
}

void LevelsWindow::LevelChanged(bool lowMoved) {
  lowMovedLast_ = lowMoved;
  const LevelsParams p = parameters();
  histogram_->setMarkers(p.low, p.high);
  ParametersChanged();
}

void LevelsWindow::SettleLevels() {
  ShowLevels(parameters());
}

void LevelsWindow::ShowLevels(const LevelsParams& p) {
  {
    const QSignalBlocker blockLow(low_);
    const QSignalBlocker blockHigh(high_);
    if (low_->value() != p.low) low_->setValue(p.low);
    if (high_->value() != p.high) high_->setValue(p.high);
  }
  histogram_->setMarkers(p.low, p.high);
}

}  // namespace vl::edit::ui
