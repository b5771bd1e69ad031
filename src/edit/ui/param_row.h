// The parameter widgets the tool windows share: a row of label, slider and number field for
// one whole-number parameter, a titled group of radio buttons for a choice, and the helpers
// that line the rows up, connect their changes and put them back to their start values.
#pragma once

#include <QGroupBox>
#include <QSpinBox>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "edit/operation.h"

class QBoxLayout;
class QButtonGroup;
class QLabel;
class QPushButton;
class QSlider;

namespace vl::edit::ui {

// How a number field shows its whole-number value.
enum class ValueFormat {
  kWhole,       // "%ld"
  kHundredths,  // "%.2f": the value is in hundredths
  kPercent,     // "%ld%"
  kPixels,      // "%ld pixels"
  kDegrees,     // "%ld°"
};

// A spin box holding a whole number, shown in one of the formats. A number typed beyond the
// range is clamped as it is typed; one below a positive minimum, which further digits may
// still raise, waits as unfinished input and is clamped when the field is left or Enter is
// pressed. Only values inside the range are ever reported.
class ValueField : public QSpinBox {
  Q_OBJECT

 public:
  explicit ValueField(ValueFormat format, QWidget* parent = nullptr);
  ValueFormat format() const { return format_; }

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 private:
  enum class Parsed { kNumber, kUnfinished, kInvalid };
  // The number in text, in the field's units (hundredths for kHundredths), the suffix aside.
  Parsed Parse(const QString& text, int64_t& value) const;
  QString Shown(int value) const { return textFromValue(value) + suffix(); }

  ValueFormat format_;
};

// Label, slider and number field of one parameter, kept in step. The row's objectName names the
// parameter; its slider and field are the children "slider" and "field". Tab reaches the field
// (the slider follows it), so Tab walks the parameters once each.
class ParamRow : public QWidget {
  Q_OBJECT

 public:
  ParamRow(const QString& name, const QString& label, const IntRange& range, ValueFormat format,
           QWidget* parent = nullptr);

  int value() const;
  // Clamped into the range; reports valueChanged when the value changes.
  void setValue(int value);
  // Back to the range's start.
  void Reset() { setValue(range_.start); }
  const IntRange& range() const { return range_; }

  QLabel* label() const { return label_; }
  QSlider* slider() const { return slider_; }
  ValueField* field() const { return field_; }

 Q_SIGNALS:
  void valueChanged(int value);

 private:
  IntRange range_;
  QLabel* label_ = nullptr;
  QSlider* slider_ = nullptr;
  ValueField* field_ = nullptr;
};

// A titled group of radio buttons, one per label, named objectName + position ("mode0", ...).
class ChoiceGroup : public QGroupBox {
  Q_OBJECT

 public:
  ChoiceGroup(const QString& name, const QString& title, const std::vector<QString>& labels, int start,
              QWidget* parent = nullptr);

  int position() const;
  void setPosition(int position);
  void Reset() { setPosition(start_); }
  int start() const { return start_; }

 Q_SIGNALS:
  void positionChanged(int position);

 private:
  QButtonGroup* buttons_ = nullptr;
  int start_;
};

// A label as a widget text: the '_' that marks its key becomes Qt's '&'.
QString WidgetText(const char* label);

template <std::size_t N>
std::vector<QString> WidgetTexts(const std::array<const char*, N>& labels) {
  std::vector<QString> texts;
  for (const char* l : labels) texts.push_back(WidgetText(l));
  return texts;
}

// The alpha-mode radio "Method": "Do not process alpha", "Process alpha", "Process only alpha".
ChoiceGroup* AlphaModeGroup(QWidget* parent);

// A push button of the parameter area; Enter stays with "_Execute".
QPushButton* AreaButton(const QString& text, const QString& name, QWidget* parent);

// Gives every row under area the same label width and the same field width, so that the
// sliders line up.
void AlignRows(QWidget* area);

// Calls changed after each change of a row or a choice under area.
void ConnectChanges(QWidget* area, const std::function<void()>& changed);

// For a window's destructor: nothing under area reports any more. Hiding the dialog as it goes
// takes the focus out of a field, which ends its editing and would report to a window that is
// already half destroyed.
void QuietParameters(QWidget* area);

// Puts every row and choice under area back to its start without reporting each change.
void ResetParameters(QWidget* area);

// Adds a row with a "Reset" button (and the extra buttons given, to its left) at the end of
// layout. The button puts the rows and choices under area back to their start, then calls
// reset for the window's other widgets and its single change report.
QPushButton* AddResetButton(QBoxLayout* layout, QWidget* area, const std::function<void()>& reset,
                            const std::vector<QPushButton*>& extra = {});

}  // namespace vl::edit::ui
