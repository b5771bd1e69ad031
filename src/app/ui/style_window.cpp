#include "app/ui/style_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

namespace vl::app::ui {

StyleWindow::StyleWindow(const QString& current, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("MUI..."));
  setObjectName(QStringLiteral("styleWindow"));
  auto* form = new QFormLayout(this);
  styles_ = new QComboBox(this);
  styles_->setObjectName(QStringLiteral("style"));
  styles_->addItems(QStyleFactory::keys());
  const QString active = current.isEmpty() ? QApplication::style()->name() : current;
  const int index = styles_->findText(active, Qt::MatchFixedString);
  if (index >= 0) styles_->setCurrentIndex(index);
  form->addRow(QStringLiteral("Widget style:"), styles_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("_Use").replace(QLatin1Char('_'), QLatin1Char('&')), QDialogButtonBox::AcceptRole)
      ->setDefault(true);
  buttons->addButton(QStringLiteral("_Cancel").replace(QLatin1Char('_'), QLatin1Char('&')),
                     QDialogButtonBox::RejectRole);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString StyleWindow::chosen() const {
  return styles_->currentText();
}

void StyleWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  activateWindow();
  styles_->setFocus();
}

}  // namespace vl::app::ui
