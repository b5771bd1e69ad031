#include "platform/ui/qt_requester.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <vector>

namespace vl::platform::ui {

namespace {
QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).trimmed();
}
}  // namespace

void QtRequester::Error(const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QStringLiteral("Error..."));
  box.setText(Text(text));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.show();
  box.activateWindow();
  box.exec();
}

int QtRequester::Ask(const std::string& title, const std::string& text, const std::string& buttons) {
  QMessageBox box(QApplication::activeWindow());
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(title.empty() ? QStringLiteral("Vistaloom request") : Text(title));
  box.setText(Text(text));
  std::vector<QPushButton*> pressed;
  const QStringList labels = QString::fromUtf8(buttons.c_str()).split(QLatin1Char('|'));
  for (QString label : labels) {
    label = label.trimmed();
    const bool isDefault = label.startsWith(QLatin1Char('*'));
    if (isDefault) label.remove(0, 1);
    label.replace(QLatin1Char('&'), QStringLiteral("&&")).replace(QLatin1Char('_'), QLatin1Char('&'));
    QPushButton* b = box.addButton(label, QMessageBox::ActionRole);
    if (isDefault) box.setDefaultButton(b);
    pressed.push_back(b);
  }
  if (!pressed.empty()) box.setEscapeButton(pressed.back());
  box.show();
  box.activateWindow();
  box.exec();
  for (size_t i = 0; i < pressed.size(); ++i)
    if (box.clickedButton() == pressed[i]) return static_cast<int>(i);
  return pressed.empty() ? 0 : static_cast<int>(pressed.size()) - 1;
}

ScopedQtRequester::ScopedQtRequester() {
  SetRequester(&requester_);
}

ScopedQtRequester::~ScopedQtRequester() {
  SetRequester(nullptr);
}

}  // namespace vl::platform::ui
