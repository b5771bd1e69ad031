#include "edit/ui/insert_text_window.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "edit/ui/param_row.h"
#include "platform/requester.h"

namespace vl::edit::ui {

namespace {

constexpr IntRange kSize = {1, 500, filters::kDefaultTextSize};
constexpr IntRange kAlpha = {0, 100, 100};
constexpr IntRange kOffset = {-10, 10, 0};
constexpr IntRange kSmoothness = {0, 10, 0};
constexpr IntRange kIntensity = {0, 100, 100};

QPushButton* ColourButton(const QString& name, QWidget* parent) {
  return AreaButton(QString(), name, parent);
}

void ShowColour(QPushButton* button, uint32_t rgb) {
  QPixmap swatch(48, 16);
  swatch.fill(QColor::fromRgb(rgb));
  button->setIcon(QIcon(swatch));
  button->setIconSize(swatch.size());
  button->setToolTip(QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0')));
}

ValueField* PositionField(const QString& name, QWidget* parent) {
  auto* field = new ValueField(ValueFormat::kWhole, parent);
  field->setObjectName(name);
  field->setRange(0, 0);
  return field;
}

}  // namespace

InsertTextWindow::InsertTextWindow(app::Controller& controller, std::function<uint32_t()> pickedColour, QWidget* parent)
    : OperationWindow(controller, QStringLiteral("Insert Text"), ToolKind::kInPlace, ApplyInsertText, RunInsertText,
                      parent),
      pickedColour_(std::move(pickedColour)) {
  setObjectName(QStringLiteral("insertTextWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* form = new QFormLayout();
  text_ = new QLineEdit(area);
  text_->setObjectName(QStringLiteral("text"));
  form->addRow(QStringLiteral("&Text:"), text_);
  font_ = new QLineEdit(area);
  font_->setObjectName(QStringLiteral("font"));
  QPushButton* chooseFont = AreaButton(QStringLiteral("..."), QStringLiteral("chooseFont"), area);
  auto* fontRow = new QHBoxLayout();
  fontRow->addWidget(font_, 1);
  fontRow->addWidget(chooseFont);
  auto* fontLabel = new QLabel(QStringLiteral("&Font:"), area);
  fontLabel->setBuddy(font_);
  form->addRow(fontLabel, fontRow);
  layout->addLayout(form);

  size_ = new ParamRow(QStringLiteral("size"), QStringLiteral("Size:"), kSize, ValueFormat::kWhole, area);
  layout->addWidget(size_);
  auto* colourRow = new QHBoxLayout();
  textColourButton_ = ColourButton(QStringLiteral("textColor"), area);
  auto* colourLabel = new QLabel(QStringLiteral("Text color:"), area);
  colourLabel->setBuddy(textColourButton_);
  QPushButton* textFromPicker = AreaButton(QStringLiteral("From &picker"), QStringLiteral("textFromPicker"), area);
  colourRow->addWidget(colourLabel);
  colourRow->addWidget(textColourButton_);
  colourRow->addWidget(textFromPicker);
  colourRow->addStretch(1);
  layout->addLayout(colourRow);
  alpha_ = new ParamRow(QStringLiteral("alpha"), QStringLiteral("Alpha:"), kAlpha, ValueFormat::kHundredths, area);
  layout->addWidget(alpha_);
  direction_ = new ChoiceGroup(QStringLiteral("direction"), QStringLiteral("Direction"),
                               {QStringLiteral("Horizontal"), QStringLiteral("Vertical")}, 0, area);
  layout->addWidget(direction_);

  auto* position = new QGroupBox(QStringLiteral("Position"), area);
  auto* positionRow = new QHBoxLayout(position);
  x_ = PositionField(QStringLiteral("x"), position);
  y_ = PositionField(QStringLiteral("y"), position);
  auto* xLabel = new QLabel(QStringLiteral("X:"), position);
  xLabel->setBuddy(x_);
  auto* yLabel = new QLabel(QStringLiteral("Y:"), position);
  yLabel->setBuddy(y_);
  positionRow->addWidget(xLabel);
  positionRow->addWidget(x_, 1);
  positionRow->addWidget(yLabel);
  positionRow->addWidget(y_, 1);
  layout->addWidget(position);

  auto* shadowGroup = new QGroupBox(QStringLiteral("Shadow"), area);
  shadowGroup->setObjectName(QStringLiteral("shadowGroup"));
  auto* shadowLayout = new QVBoxLayout(shadowGroup);
  auto* switches = new QHBoxLayout();
  shadow_ = new QCheckBox(QStringLiteral("Enabled"), shadowGroup);
  shadow_->setObjectName(QStringLiteral("shadow"));
  gaussian_ = new QCheckBox(QStringLiteral("Gaussian"), shadowGroup);
  gaussian_->setObjectName(QStringLiteral("gaussian"));
  switches->addWidget(shadow_);
  switches->addWidget(gaussian_);
  switches->addStretch(1);
  shadowLayout->addLayout(switches);
  shadowX_ =
      new ParamRow(QStringLiteral("shadowX"), QStringLiteral("X Offset"), kOffset, ValueFormat::kWhole, shadowGroup);
  shadowY_ =
      new ParamRow(QStringLiteral("shadowY"), QStringLiteral("Y Offset"), kOffset, ValueFormat::kWhole, shadowGroup);
  smoothness_ = new ParamRow(QStringLiteral("smoothness"), QStringLiteral("Smoothnes"), kSmoothness,
                             ValueFormat::kWhole, shadowGroup);
  intensity_ = new ParamRow(QStringLiteral("intensity"), QStringLiteral("Intensity"), kIntensity,
                            ValueFormat::kHundredths, shadowGroup);
  for (ParamRow* r : {shadowX_, shadowY_, smoothness_, intensity_}) shadowLayout->addWidget(r);
  auto* shadowColourRow = new QHBoxLayout();
  shadowColourButton_ = ColourButton(QStringLiteral("shadowColor"), shadowGroup);
  auto* shadowColourLabel = new QLabel(QStringLiteral("Shadow color:"), shadowGroup);
  shadowColourLabel->setBuddy(shadowColourButton_);
  QPushButton* shadowFromPicker =
      AreaButton(QStringLiteral("From p&icker"), QStringLiteral("shadowFromPicker"), shadowGroup);
  shadowColourRow->addWidget(shadowColourLabel);
  shadowColourRow->addWidget(shadowColourButton_);
  shadowColourRow->addWidget(shadowFromPicker);
  shadowColourRow->addStretch(1);
  shadowLayout->addLayout(shadowColourRow);
  layout->addWidget(shadowGroup);

  auto* statusRow = new QHBoxLayout();
  status_ = new QLabel(area);
  status_->setObjectName(QStringLiteral("status"));
  statusRow->addWidget(new QLabel(QStringLiteral("Status:"), area));
  statusRow->addWidget(status_, 1);
  layout->addLayout(statusRow);
  AlignRows(area);

  // What needs the text rendered again, and what only redraws it.
  connect(text_, &QLineEdit::textChanged, this, [this] { TextChanged(); });
  connect(font_, &QLineEdit::editingFinished, this, [this] {
    if (font_->isModified()) {
      font_->setModified(false);
      TextChanged();
    }
  });
  for (ParamRow* r : {size_, smoothness_}) connect(r, &ParamRow::valueChanged, this, [this] { TextChanged(); });
  connect(direction_, &ChoiceGroup::positionChanged, this, [this] { TextChanged(); });
  connect(gaussian_, &QCheckBox::toggled, this, [this] { TextChanged(); });
  for (ParamRow* r : {alpha_, shadowX_, shadowY_, intensity_})
    connect(r, &ParamRow::valueChanged, this, [this] { ParametersChanged(); });
  for (ValueField* f : {x_, y_}) connect(f, &QSpinBox::valueChanged, this, [this] { ParametersChanged(); });
  connect(shadow_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  connect(chooseFont, &QPushButton::clicked, this, &InsertTextWindow::ChooseFont);
  connect(textColourButton_, &QPushButton::clicked, this, [this] {
    uint32_t rgb = textColour_;
    if (ChooseColour(QStringLiteral("Text color..."), rgb)) SetTextColour(rgb);
  });
  connect(shadowColourButton_, &QPushButton::clicked, this, [this] {
    uint32_t rgb = shadowColour_;
    if (ChooseColour(QStringLiteral("Shadow color..."), rgb)) SetShadowColour(rgb);
  });
  connect(textFromPicker, &QPushButton::clicked, this, [this] {
    if (pickedColour_) SetTextColour(pickedColour_());
  });
  connect(shadowFromPicker, &QPushButton::clicked, this, [this] {
    if (pickedColour_) SetShadowColour(pickedColour_());
  });
  connect(this, &ToolWindow::closed, this, [this] { engine_.reset(); });
  ShowColour(textColourButton_, textColour_);
  ShowColour(shadowColourButton_, shadowColour_);
}

InsertTextWindow::~InsertTextWindow() {
  QuietParameters(parameterArea());
}

InsertTextParams InsertTextWindow::parameters() const {
  InsertTextParams p;
  p.text = text_->text().toStdString();
  p.font = font_->text().toStdString();
  p.size = size_->value();
  p.direction = direction_->position() == 0 ? filters::kTextHorizontal : filters::kTextTopToBottom;
  p.origin = filters::kOriginLeftTop;
  p.x = x_->value();
  p.y = y_->value();
  p.color = filters::ToolTextColor(alpha_->value(), textColour_);
  p.shadow = shadow_->isChecked();
  p.shadowX = shadowX_->value();
  p.shadowY = shadowY_->value();
  p.smoothness = smoothness_->value();
  p.gaussian = gaussian_->isChecked();
  p.shadowColor = filters::ToolShadowColor(shadowColour_);
  p.intensity = filters::ToolShadowIntensity(intensity_->value());
  return p;
}

bool InsertTextWindow::OpenWithEngine() {
  if (!isOpen()) {
    if (!CurrentChunky(controller())) return false;
    auto engine = std::make_unique<filters::TextEngineScope>(filters::kTextEngineVersion);
    if (!engine->ok()) {
      platform::CurrentRequester().Error(filters::kTextEngineNeededText);
      return false;
    }
    engine_ = std::move(engine);
  }
  if (Open()) return true;
  engine_.reset();
  return false;
}

void InsertTextWindow::SetFont(const QString& font) {
  font_->setText(font);
  font_->setModified(false);
  TextChanged();
}

void InsertTextWindow::SetTextColour(uint32_t rgb) {
  textColour_ = rgb & 0xFFFFFFu;
  ShowColour(textColourButton_, textColour_);
  ParametersChanged();
}

void InsertTextWindow::SetShadowColour(uint32_t rgb) {
  shadowColour_ = rgb & 0xFFFFFFu;
  ShowColour(shadowColourButton_, shadowColour_);
  ParametersChanged();
}

void InsertTextWindow::LoadFromPicture(const image::ChunkyImage& picture) {
  const QSignalBlocker blockX(x_), blockY(y_), blockFont(font_);
  x_->setRange(-picture.width, picture.width);
  y_->setRange(-picture.height, picture.height);
  if (font_->text().isEmpty()) font_->setText(QString::fromUtf8(filters::kDefaultTextFont));
  status_->setText(QString::fromStdString(InsertTextStatus(parameters())));
}

void InsertTextWindow::TextChanged() {
  status_->setText(QString::fromStdString(InsertTextStatus(parameters())));
  ParametersChanged();
}

bool InsertTextWindow::ChooseColour(const QString& title, uint32_t& rgb) {
  QColorDialog requester(QColor::fromRgb(rgb), this);
  requester.setObjectName(QStringLiteral("colorRequester"));
  requester.setWindowTitle(title);
  requester.setOptions(QColorDialog::DontUseNativeDialog);
  if (requester.exec() != QDialog::Accepted) return false;
  rgb = requester.selectedColor().rgb() & 0xFFFFFFu;
  return true;
}

void InsertTextWindow::ChooseFont() {
  QDialog requester(this);
  requester.setObjectName(QStringLiteral("fontRequester"));
  requester.setWindowTitle(QStringLiteral("Select TrueType (.ttf) font..."));
  auto* layout = new QVBoxLayout(&requester);
  auto* list = new QListWidget(&requester);
  list->setObjectName(QStringLiteral("fonts"));
  for (const filters::InstalledFont& f : filters::InstalledFonts()) {
    auto* item = new QListWidgetItem(QString::fromStdString(f.name), list);
    item->setData(Qt::UserRole, QString::fromStdString(f.file));
    item->setToolTip(QString::fromStdString(f.file));
    if (item->data(Qt::UserRole).toString() == font_->text()) list->setCurrentItem(item);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &requester);
  layout->addWidget(list);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &requester, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &requester, &QDialog::reject);
  connect(list, &QListWidget::itemDoubleClicked, &requester, &QDialog::accept);
  requester.resize(360, 420);
  if (requester.exec() == QDialog::Accepted && list->currentItem())
    SetFont(list->currentItem()->data(Qt::UserRole).toString());
}

}  // namespace vl::edit::ui
