#include "edit/ui/resize_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

#include "image/resample.h"

namespace vl::edit::ui {

namespace {
QPushButton* SmallButton(const QString& text, const QString& name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);  // Enter stays with "_Execute"
  return b;
}
}  // namespace

ResizeWindow::ResizeWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Size"), ToolKind::kReplace, ExecuteResize, nullptr, parent),
      pickedColour_(std::move(pickedColour)) {
  setObjectName(QStringLiteral("resizeWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* dimensions = new QGroupBox(QStringLiteral("Dimensions"), area);
  dimensions->setObjectName(QStringLiteral("dimensions"));
  auto* grid = new QGridLayout(dimensions);
  auto sizeRow = [&](int row, const QString& label, const QString& name, void (ResizeFields::*twice)(),
                     void (ResizeFields::*half)()) {
    auto* spin = new QSpinBox(dimensions);
    spin->setObjectName(name);
    spin->setRange(0, kResizeFieldMax);
    auto* text = new QLabel(label, dimensions);
    text->setBuddy(spin);
    QPushButton* x2 = SmallButton(QStringLiteral("x2"), name + QStringLiteral("Double"), dimensions);
    QPushButton* by2 = SmallButton(QStringLiteral("/2"), name + QStringLiteral("Halve"), dimensions);
    grid->addWidget(text, row, 0);
    grid->addWidget(spin, row, 1);
    grid->addWidget(x2, row, 2);
    grid->addWidget(by2, row, 3);
    connect(x2, &QPushButton::clicked, this, [this, twice] {
      (fields_.*twice)();
      FieldsChanged();
    });
    connect(by2, &QPushButton::clicked, this, [this, half] {
      (fields_.*half)();
      FieldsChanged();
    });
    return spin;
  };
  width_ = sizeRow(0, QStringLiteral("Width:"), QStringLiteral("width"), &ResizeFields::DoubleWidth,
                   &ResizeFields::HalveWidth);
  height_ = sizeRow(1, QStringLiteral("Height:"), QStringLiteral("height"), &ResizeFields::DoubleHeight,
                    &ResizeFields::HalveHeight);
  grid->setColumnStretch(1, 1);
  connect(width_, &QSpinBox::valueChanged, this, [this](int v) {
    fields_.SetWidth(v);
    FieldsChanged();
  });
  connect(height_, &QSpinBox::valueChanged, this, [this](int v) {
    fields_.SetHeight(v);
    FieldsChanged();
  });
  preserveAspect_ = new QCheckBox(QStringLiteral("&Preserve image aspect"), dimensions);
  preserveAspect_->setObjectName(QStringLiteral("preserveAspect"));
  preserveAspect_->setChecked(fields_.preserveAspect());
  grid->addWidget(preserveAspect_, 2, 0, 1, 4);
  connect(preserveAspect_, &QCheckBox::toggled, this, [this](bool on) {
    fields_.SetPreserveAspect(on);
    ParametersChanged();
  });
  layout->addWidget(dimensions);

  // The list position is the method number.
  auto* filterBox = new QGroupBox(QStringLiteral("Filter"), area);
  filterBox->setObjectName(QStringLiteral("filter"));
  auto* filterLayout = new QVBoxLayout(filterBox);
  filter_ = new QButtonGroup(this);
  for (int method = 0; method < image::kMethodCount; ++method) {
    auto* radio = new QRadioButton(QString::fromUtf8(image::GetMethodInfo(method)->label), filterBox);
    radio->setObjectName(QStringLiteral("method%1").arg(method));
    filter_->addButton(radio, method);
    filterLayout->addWidget(radio);
  }
  filter_->button(ScaleParams().method)->setChecked(true);
  connect(filter_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) ParametersChanged();
  });
  layout->addWidget(filterBox);

  auto* borderBox = new QGroupBox(QStringLiteral("Border"), area);
  borderBox->setObjectName(QStringLiteral("border"));
  auto* borderGrid = new QGridLayout(borderBox);
  border_ = new QCheckBox(borderBox);
  border_->setObjectName(QStringLiteral("borderEnable"));
  auto* enableLabel = new QLabel(QStringLiteral("Ena&ble:"), borderBox);
  enableLabel->setBuddy(border_);
  color_ = SmallButton(QString(), QStringLiteral("borderColor"), borderBox);
  auto* colorLabel = new QLabel(QStringLiteral("Color:"), borderBox);
  colorLabel->setBuddy(color_);
  QPushButton* fromPicker = SmallButton(QStringLiteral("From picker"), QStringLiteral("fromPicker"), borderBox);
  borderGrid->addWidget(enableLabel, 0, 0);
  borderGrid->addWidget(border_, 0, 1);
  borderGrid->addWidget(colorLabel, 1, 0);
  borderGrid->addWidget(color_, 1, 1);
  borderGrid->addWidget(fromPicker, 1, 2);
  borderGrid->setColumnStretch(3, 1);
  connect(border_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  connect(color_, &QPushButton::clicked, this, &ResizeWindow::ChooseBorderColor);
  connect(fromPicker, &QPushButton::clicked, this, [this] {
    if (pickedColour_) SetBorderColor(pickedColour_());
  });
  layout->addWidget(borderBox);
  SetBorderColor(borderColor_);
}

ScaleParams ResizeWindow::parameters() const {
  ScaleParams p;
  p.width = fields_.width();
  p.height = fields_.height();
  p.hasWidth = true;
  p.hasHeight = true;
  p.border = border_->isChecked();
  p.borderColor = borderColor_;
  p.method = filter_->checkedId();
  return p;
}

void ResizeWindow::SetBorderColor(uint32_t argb) {
  borderColor_ = argb;
  QPixmap swatch(32, 16);
  swatch.fill(QColor::fromRgba(argb));
  color_->setIcon(QIcon(swatch));
  color_->setIconSize(swatch.size());
  color_->setToolTip(QStringLiteral("#%1").arg(argb, 8, 16, QLatin1Char('0')));
  ParametersChanged();
}

void ResizeWindow::LoadFromPicture(const image::ChunkyImage& picture) {
  fields_.Reset(picture.width, picture.height);
  ShowFields();
}

void ResizeWindow::ShowFields() {
  // Only a field whose value differs is set, so that typing in a field is not disturbed.
  const QSignalBlocker blockWidth(width_);
  const QSignalBlocker blockHeight(height_);
  if (width_->value() != fields_.width()) width_->setValue(fields_.width());
  if (height_->value() != fields_.height()) height_->setValue(fields_.height());
}

void ResizeWindow::FieldsChanged() {
  ShowFields();
  ParametersChanged();
}

void ResizeWindow::ChooseBorderColor() {
  QColorDialog requester(QColor::fromRgba(borderColor_), this);
  requester.setObjectName(QStringLiteral("borderColorRequester"));
  requester.setWindowTitle(QStringLiteral("Border color..."));
  requester.setOptions(QColorDialog::ShowAlphaChannel | QColorDialog::DontUseNativeDialog);
  if (requester.exec() == QDialog::Accepted) SetBorderColor(requester.selectedColor().rgba());
}

}  // namespace vl::edit::ui
