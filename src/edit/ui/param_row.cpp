#include "edit/ui/param_row.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "edit/tool_labels.h"

namespace vl::edit::ui {

namespace {

QString SuffixOf(ValueFormat format) {
  switch (format) {
    case ValueFormat::kPercent: return QStringLiteral("%");
    case ValueFormat::kPixels: return QStringLiteral(" pixels");
    case ValueFormat::kDegrees: return QStringLiteral("°");
    case ValueFormat::kWhole:
    case ValueFormat::kHundredths: break;
  }
  return QString();
}

// More digits than any range here needs; a longer number is simply too large.
constexpr int kMaxDigits = 9;

}  // namespace

ValueField::ValueField(ValueFormat format, QWidget* parent) : QSpinBox(parent), format_(format) {
  setSuffix(SuffixOf(format));
  setAlignment(Qt::AlignRight);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QString ValueField::textFromValue(int value) const {
  if (format_ != ValueFormat::kHundredths) return QString::number(value);
  const int whole = std::abs(value);
  return QStringLiteral("%1%2.%3")
      .arg(value < 0 ? QStringLiteral("-") : QString())
      .arg(whole / 100)
      .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

ValueField::Parsed ValueField::Parse(const QString& text, int64_t& value) const {
  QString t = text.trimmed();
  const QString unit = suffix().trimmed();
  if (!unit.isEmpty() && t.endsWith(unit)) t.chop(unit.size());
  t = t.trimmed();
  static const QRegularExpression whole(QStringLiteral("^(-?)(\\d*)$"));
  static const QRegularExpression hundredths(QStringLiteral("^(-?)(\\d*)(?:\\.(\\d{0,2}))?$"));
  const QRegularExpressionMatch m = (format_ == ValueFormat::kHundredths ? hundredths : whole).match(t);
  if (!m.hasMatch()) return Parsed::kInvalid;
  const bool negative = !m.captured(1).isEmpty();
  if (negative && minimum() >= 0) return Parsed::kInvalid;
  const QString integer = m.captured(2);
  const QString fraction = format_ == ValueFormat::kHundredths ? m.captured(3) : QString();
  if (integer.isEmpty() && fraction.isEmpty()) return Parsed::kUnfinished;  // "", "-", "."
  int64_t v = 0;
  if (integer.size() > kMaxDigits) {
    v = int64_t{1} << 40;
  } else {
    v = integer.isEmpty() ? 0 : integer.toLongLong();
    if (format_ == ValueFormat::kHundredths)
      v = v * 100 + (fraction.size() == 2 ? fraction.toInt() : fraction.size() == 1 ? fraction.toInt() * 10 : 0);
  }
  value = negative ? -v : v;
  return Parsed::kNumber;
}

QValidator::State ValueField::validate(QString& input, int& pos) const {
  int64_t v = 0;
  const Parsed parsed = Parse(input, v);
  if (parsed == Parsed::kInvalid) return QValidator::Invalid;
  if (parsed == Parsed::kUnfinished) return QValidator::Intermediate;
  // Below a positive minimum, more digits may still bring the number into the range.
  if (v < minimum() && v >= 0) return QValidator::Intermediate;
  if (v < minimum() || v > maximum()) {
    input = Shown(static_cast<int>(std::clamp<int64_t>(v, minimum(), maximum())));
    pos = static_cast<int>(input.size() - suffix().size());
  }
  return QValidator::Acceptable;
}

void ValueField::fixup(QString& input) const {
  int64_t v = 0;
  if (Parse(input, v) == Parsed::kNumber) input = Shown(static_cast<int>(std::clamp<int64_t>(v, minimum(), maximum())));
}

int ValueField::valueFromText(const QString& text) const {
  int64_t v = 0;
  if (Parse(text, v) != Parsed::kNumber) return value();
  return static_cast<int>(std::clamp<int64_t>(v, minimum(), maximum()));
}

ParamRow::ParamRow(const QString& name, const QString& label, const IntRange& range, ValueFormat format,
                   QWidget* parent)
    : QWidget(parent), range_(range) {
  setObjectName(name);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  label_ = new QLabel(label, this);
  label_->setObjectName(QStringLiteral("label"));
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setObjectName(QStringLiteral("slider"));
  slider_->setRange(range.min, range.max);
  slider_->setPageStep(std::max(1, (range.max - range.min) / 10));
  slider_->setValue(range.start);
  slider_->setMinimumWidth(160);
  // The field is the row's Tab stop; a click still gives the slider the arrow keys.
  slider_->setFocusPolicy(Qt::ClickFocus);
  field_ = new ValueField(format, this);
  field_->setObjectName(QStringLiteral("field"));
  field_->setRange(range.min, range.max);
  field_->setValue(range.start);
  label_->setBuddy(field_);
  layout->addWidget(label_);
  layout->addWidget(slider_, 1);
  layout->addWidget(field_);
  connect(slider_, &QSlider::valueChanged, field_, &QSpinBox::setValue);
  connect(field_, &QSpinBox::valueChanged, this, [this](int v) {
    {
      const QSignalBlocker block(slider_);
      slider_->setValue(v);
    }
    Q_EMIT valueChanged(v);
  });
}

int ParamRow::value() const {
  return field_->value();
}

void ParamRow::setValue(int value) {
  field_->setValue(std::clamp(value, range_.min, range_.max));
}

ChoiceGroup::ChoiceGroup(const QString& name, const QString& title, const std::vector<QString>& labels, int start,
                         QWidget* parent)
    : QGroupBox(title, parent), start_(start) {
  setObjectName(name);
  auto* layout = new QVBoxLayout(this);
  buttons_ = new QButtonGroup(this);
  for (size_t i = 0; i < labels.size(); ++i) {
    auto* radio = new QRadioButton(labels[i], this);
    radio->setObjectName(name + QString::number(i));
    buttons_->addButton(radio, static_cast<int>(i));
    layout->addWidget(radio);
  }
  layout->addStretch(1);  // beside a taller group, the buttons stay at the top
  setPosition(start);
  connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) Q_EMIT positionChanged(id);
  });
}

int ChoiceGroup::position() const {
  return buttons_->checkedId();
}

void ChoiceGroup::setPosition(int position) {
  if (QAbstractButton* b = buttons_->button(position)) b->setChecked(true);
}

QString WidgetText(const char* label) {
  QString text = QString::fromUtf8(label);
  const qsizetype key = text.indexOf(QLatin1Char('_'));
  if (key >= 0) text[key] = QLatin1Char('&');
  return text;
}

ChoiceGroup* AlphaModeGroup(QWidget* parent) {
  return new ChoiceGroup(QStringLiteral("mode"), WidgetText(kAlphaMethodLabel), WidgetTexts(kAlphaModeLabels), 0,
                         parent);
}

QPushButton* AreaButton(const QString& text, const QString& name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

void AlignRows(QWidget* area) {
  const QList<ParamRow*> rows = area->findChildren<ParamRow*>();
  int label = 0, field = 0;
  for (ParamRow* r : rows) {
    label = std::max(label, r->label()->sizeHint().width());
    field = std::max(field, r->field()->sizeHint().width());
  }
  for (ParamRow* r : rows) {
    r->label()->setMinimumWidth(label);
    r->field()->setMinimumWidth(field);
  }
}

void ConnectChanges(QWidget* area, const std::function<void()>& changed) {
  for (ParamRow* r : area->findChildren<ParamRow*>()) QObject::connect(r, &ParamRow::valueChanged, area, changed);
  for (ChoiceGroup* g : area->findChildren<ChoiceGroup*>())
    QObject::connect(g, &ChoiceGroup::positionChanged, area, changed);
}

void QuietParameters(QWidget* area) {
  area->blockSignals(true);
  for (QObject* o : area->findChildren<QObject*>()) o->blockSignals(true);
}

void ResetParameters(QWidget* area) {
  for (ParamRow* r : area->findChildren<ParamRow*>()) {
    const QSignalBlocker block(r);
    r->Reset();
  }
  for (ChoiceGroup* g : area->findChildren<ChoiceGroup*>()) {
    const QSignalBlocker block(g);
    g->Reset();
  }
}

QPushButton* AddResetButton(QBoxLayout* layout, QWidget* area, const std::function<void()>& reset,
                            const std::vector<QPushButton*>& extra) {
  auto* row = new QHBoxLayout();
  for (QPushButton* b : extra) row->addWidget(b);
  row->addStretch(1);
  QPushButton* button = AreaButton(QStringLiteral("&Reset"), QStringLiteral("reset"), area);
  button->setToolTip(QStringLiteral("Put back the start values"));
  row->addWidget(button);
  layout->addLayout(row);
  QObject::connect(button, &QPushButton::clicked, area, [area, reset] {
    ResetParameters(area);
    reset();
  });
  return button;
}

}  // namespace vl::edit::ui
