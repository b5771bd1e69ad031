#include "edit/ui/blender_window.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"

namespace vl::edit::ui {

BlenderWindow::BlenderWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Blender"), ToolKind::kInPlace, ApplyBlender, RunBlender, parent),
      pickedColour_(std::move(pickedColour)) {
  setObjectName(QStringLiteral("blenderWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout();
  auto* label = new QLabel(WidgetText(kBlenderBackgroundLabel), area);
  colour_ = AreaButton(QString(), QStringLiteral("backgroundColor"), area);
  label->setBuddy(colour_);
  QPushButton* fromPicker = AreaButton(QStringLiteral("From picker"), QStringLiteral("fromPicker"), area);
  row->addWidget(label);
  row->addWidget(colour_);
  row->addWidget(fromPicker);
  row->addStretch(1);
  layout->addLayout(row);
  AddResetButton(layout, area, [this] { SetBackground(BlenderParams().background); });
  connect(colour_, &QPushButton::clicked, this, &BlenderWindow::ChooseBackground);
  connect(fromPicker, &QPushButton::clicked, this, [this] {
    if (pickedColour_) SetBackground(pickedColour_() & 0xFFFFFFu);
  });
  SetBackground(background_);
}

BlenderWindow::~BlenderWindow() {
  QuietParameters(parameterArea());
}

BlenderParams BlenderWindow::parameters() const {
  return {background_};
}

bool BlenderWindow::OpenOnTransparency() {
  if (!isOpen() && !BlenderAccepts(controller())) return false;
  return Open();
}

void BlenderWindow::SetBackground(uint32_t rgb) {
  background_ = rgb & 0xFFFFFFu;
  QPixmap swatch(48, 16);
  swatch.fill(QColor::fromRgb(background_));
  colour_->setIcon(QIcon(swatch));
  colour_->setIconSize(swatch.size());
  colour_->setToolTip(QStringLiteral("#%1").arg(background_, 6, 16, QLatin1Char('0')));
  ParametersChanged();
}

void BlenderWindow::ChooseBackground() {
  QColorDialog requester(QColor::fromRgb(background_), this);
  requester.setObjectName(QStringLiteral("backgroundColorRequester"));
  requester.setWindowTitle(QStringLiteral("Background color..."));
  requester.setOptions(QColorDialog::DontUseNativeDialog);
  if (requester.exec() == QDialog::Accepted) SetBackground(requester.selectedColor().rgb());
}

}  // namespace vl::edit::ui
