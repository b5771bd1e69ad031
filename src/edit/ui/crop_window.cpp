#include "edit/ui/crop_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "display/display.h"
#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"
#include "image/geometry.h"

namespace vl::edit::ui {

namespace {

const char* const kFieldNames[] = {"left", "top", "width", "height"};

}  // namespace

CropWindow::CropWindow(app::Controller& controller, display::ui::PreviewClass* display, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Crop"), ToolKind::kReplace, ApplyCrop, nullptr, parent),
      display_(display) {
  setObjectName(QStringLiteral("cropWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* grid = new QGridLayout();
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto* field = new ValueField(ValueFormat::kWhole, area);
    field->setObjectName(QString::fromUtf8(kFieldNames[i]));
    field->setRange(0, 0);
    auto* label = new QLabel(WidgetText(kCropFieldLabels[i]), area);
    label->setBuddy(field);
    const int row = static_cast<int>(i / 2), column = static_cast<int>(i % 2) * 2;
    grid->addWidget(label, row, column);
    grid->addWidget(field, row, column + 1);
    fields_[i] = field;
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  layout->addLayout(grid);

  auto* shape = new QHBoxLayout();
  auto* aspectLabel = new QLabel(WidgetText(kCropAspectLabel), area);
  aspect_ = new QComboBox(area);
  aspect_->setObjectName(QStringLiteral("aspect"));
  for (const display::AspectPreset& p : display::kAspectPresets) aspect_->addItem(QString::fromUtf8(p.label));
  aspectLabel->setBuddy(aspect_);
  shape->addWidget(aspectLabel);
  shape->addWidget(aspect_, 1);
  layout->addLayout(shape);

  auto* borders = new QHBoxLayout();
  tolerance_ = new ParamRow(QStringLiteral("tolerance"), WidgetText(kCropToleranceLabel), CropParams::kTolerance,
                            ValueFormat::kWhole, area);
  QPushButton* autoButton = AreaButton(WidgetText(kCropAutoLabel), QStringLiteral("auto"), area);
  borders->addWidget(tolerance_, 1);
  borders->addWidget(autoButton);
  layout->addLayout(borders);

  AddResetButton(layout, area, [this] { ResetRect(); });
  AlignRows(area);
  for (QSpinBox* field : fields_) connect(field, &QSpinBox::valueChanged, this, [this] { FieldsChanged(); });
  connect(aspect_, &QComboBox::currentIndexChanged, this, [this] { AspectChosen(); });
  connect(autoButton, &QPushButton::clicked, this, [this] { FindBorders(); });
  if (display_) {
    connect(display_, &display::ui::PreviewClass::selectionChanged, this, [this] { SelectionMoved(); });
    connect(this, &ToolWindow::opened, this, [this] { AspectChosen(); });
    connect(this, &ToolWindow::closed, this, [this] {
      if (!display_) return;
      display_->SetSelectionAspect(0.0f);
      // The rectangle belonged to the picture before the crop.
      if (result() == QDialog::Accepted) display_->ClearSelection();
    });
  }
}

CropWindow::~CropWindow() {
  QuietParameters(parameterArea());
}

CropParams CropWindow::parameters() const {
  return CropParams{fields_[0]->value(), fields_[1]->value(), fields_[2]->value(), fields_[3]->value()};
}

void CropWindow::LoadFromPicture(const image::ChunkyImage& picture) {
  pictureWidth_ = picture.width;
  pictureHeight_ = picture.height;
  {
    std::array<QSignalBlocker, 4> quiet{QSignalBlocker(fields_[0]), QSignalBlocker(fields_[1]),
                                        QSignalBlocker(fields_[2]), QSignalBlocker(fields_[3])};
    fields_[0]->setRange(0, std::max(0, picture.width - 1));
    fields_[1]->setRange(0, std::max(0, picture.height - 1));
    fields_[2]->setRange(1, std::max(1, picture.width));
    fields_[3]->setRange(1, std::max(1, picture.height));
  }
  // A rectangle drawn before the window opened is the one to crop to.
  const display::PixelRect drawn = display_ ? display::SelectionPixels(display_->selection()) : display::PixelRect{};
  if (drawn.width > 0 && drawn.height > 0)
    ShowRect(CropParams{drawn.left, drawn.top, drawn.width, drawn.height});
  else
    ResetRect();
}

void CropWindow::ShowRect(const CropParams& rect) {
  const int32_t values[] = {rect.left, rect.top, rect.width, rect.height};
  for (size_t i = 0; i < fields_.size(); ++i) {
    const QSignalBlocker quiet(fields_[i]);
    fields_[i]->setValue(values[i]);
  }
  FieldsChanged();
}

void CropWindow::FieldsChanged() {
  if (display_) {
    const CropParams p = parameters();
    display_->SetSelection(display::SelectionOf(display::PixelRect{p.left, p.top, p.width, p.height}));
    // A rectangle past the picture's edge was cut there; the fields show the cut one.
    ShowSelection();
  }
  ParametersChanged();
}

void CropWindow::SelectionMoved() {
  if (!isOpen() || !display_) return;
  ShowSelection();
  ParametersChanged();
}

void CropWindow::ShowSelection() {
  const display::PixelRect p = display::SelectionPixels(display_->selection());
  if (p.width <= 0 || p.height <= 0) return;
  const int32_t values[] = {p.left, p.top, p.width, p.height};
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i]->value() == values[i]) continue;  // typing in a field is left alone
    const QSignalBlocker quiet(fields_[i]);
    fields_[i]->setValue(values[i]);
  }
}

void CropWindow::FindBorders() {
  const image::Texture* current = controller().currentImage();
  if (!current || !current->chunky) return;
  const image::CropRect r = image::FindCropBorders(current->chunky, tolerance_->value());
  ShowRect(CropParams{r.left, r.top, r.width, r.height});
}

void CropWindow::AspectChosen() {
  if (!display_) return;
  display_->SetSelectionAspect(display::AspectOf(aspect_->currentIndex(), pictureWidth_, pictureHeight_));
  SelectionMoved();
}

void CropWindow::ResetRect() {
  {
    const QSignalBlocker quiet(aspect_);
    aspect_->setCurrentIndex(0);
  }
  if (display_) display_->SetSelectionAspect(0.0f);
  ShowRect(CropParams{0, 0, pictureWidth_, pictureHeight_});
}

}  // namespace vl::edit::ui
