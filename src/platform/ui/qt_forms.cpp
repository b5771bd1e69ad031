#include "platform/ui/qt_forms.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>

namespace vl::platform::ui {

std::string Encode(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString Decode(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QPushButton* AddButton(QHBoxLayout* row, QWidget* parent, const char* label, const char* name) {
  auto* b = new QPushButton(QString::fromUtf8(label), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setAutoDefault(false);
  row->addWidget(b);
  return b;
}

void AddExecuteCancelRow(QBoxLayout* layout, QWidget* parent, QPushButton*& execute, QPushButton*& cancel) {
  auto* buttons = new QHBoxLayout();
  execute = new QPushButton(QStringLiteral("&Execute"), parent);
  execute->setObjectName(QStringLiteral("execute"));
  execute->setDefault(true);
  cancel = new QPushButton(QStringLiteral("&Cancel"), parent);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  buttons->addWidget(execute);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
}

void SetTabChain(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* w : widgets) {
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

}  // namespace vl::platform::ui
