// The rows the batch tools' windows are built of: a label in the form's left column and a
// field (with its unit, or a "..." button for a requester) on the right.
#pragma once

#include <QString>
#include <string>

#include "image/chunky.h"
#include "platform/ui/qt_forms.h"

class QCheckBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPixmap;
class QPushButton;
class QSpinBox;
class QWidget;

namespace vl::tools::ui {

using platform::ui::AddButton;
using platform::ui::Decode;
using platform::ui::Encode;

// A value label (showing "0") named name.
QLabel* AddCounter(QFormLayout* form, QWidget* parent, const char* label, const char* name);
// A text field named name with a "..." button named name + "Choose" beside it (put in
// *button), whose tool tip is the requester's title.
QLineEdit* AddPathRow(QFormLayout* form, QWidget* parent, const char* label, const char* name, const char* title,
                      QPushButton** button);
// unit (may be null) stands after the number.
QSpinBox* AddSpin(QFormLayout* form, QWidget* parent, const char* label, const char* name, int low, int high, int value,
                  const char* unit);
QCheckBox* AddSwitch(QFormLayout* form, QWidget* parent, const char* label, const char* name, bool on);

// An ARGB32 picture as a pixmap; a null pixmap for anything else.
QPixmap PixmapOf(const image::ChunkyImage* argb);

// Asks for a directory, starting at start; empty when the requester was cancelled.
QString AskDrawer(QWidget* parent, const QString& start);
// Asks for an existing file with the requester titled title, starting at start.
QString AskFile(QWidget* parent, const QString& title, const QString& start, const char* name);

}  // namespace vl::tools::ui
