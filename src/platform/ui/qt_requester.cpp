#include "platform/ui/qt_requester.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace vl::platform::ui {

namespace {
// A label of a button list in Qt's form: '_' marks the shortcut, a literal '&' is doubled.
QString ButtonText(const QString& label) {
  QString text = label;
  text.replace(QLatin1Char('&'), QStringLiteral("&&"));
  text.replace(QLatin1Char('_'), QLatin1Char('&'));
  return text.trimmed();
}

int Show(QMessageBox::Icon icon, const QString& title, const QString& text, const QString& buttons) {
  QMessageBox box(icon, title, text, QMessageBox::NoButton, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("requester"));
  std::vector<QPushButton*> list;
  for (const QString& label : buttons.split(QLatin1Char('|'))) {
    const bool isDefault = label.startsWith(QLatin1Char('*'));
    QPushButton* b = box.addButton(ButtonText(isDefault ? label.mid(1) : label), QMessageBox::ActionRole);
    if (isDefault) box.setDefaultButton(b);
    list.push_back(b);
  }
  box.setEscapeButton(list.back());
  // Shown and activated first, so the requester has the keyboard even without a window manager.
  box.show();
  box.activateWindow();
  box.exec();
  for (size_t i = 0; i < list.size(); ++i)
    if (box.clickedButton() == list[i]) return static_cast<int>(i);
  return static_cast<int>(list.size()) - 1;
}
}  // namespace

void QtRequester::Error(const std::string& text) {
  Show(QMessageBox::Warning, QStringLiteral("Error..."), QString::fromStdString(text).trimmed(), QStringLiteral("OK"));
}

int QtRequester::Ask(const std::string& title, const std::string& text, const std::string& buttons) {
  return Show(QMessageBox::Question, QString::fromStdString(title.empty() ? "Vistaloom request" : title),
              QString::fromStdString(text), QString::fromStdString(buttons));
}

}  // namespace vl::platform::ui
