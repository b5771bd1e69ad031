// Small helpers the windows share: file names between the file system's bytes and Qt's text
// (a name that is not valid UTF-8 keeps its bytes both ways), and a row's push button.
#pragma once

#include <QString>
#include <initializer_list>
#include <string>

class QBoxLayout;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace vl::platform::ui {

std::string Encode(const QString& path);
QString Decode(const std::string& path);
// A button added to the row; it never becomes the window's default button.
QPushButton* AddButton(QHBoxLayout* row, QWidget* parent, const char* label, const char* name);
// The "_Execute" (the default button) and "_Cancel" row at the foot of a window.
void AddExecuteCancelRow(QBoxLayout* layout, QWidget* parent, QPushButton*& execute, QPushButton*& cancel);
// Tab moves through the widgets in the order given.
void SetTabChain(std::initializer_list<QWidget*> widgets);

}  // namespace vl::platform::ui
