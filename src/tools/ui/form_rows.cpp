#include "tools/ui/form_rows.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>

namespace vl::tools::ui {

QLabel* AddCounter(QFormLayout* form, QWidget* parent, const char* label, const char* name) {
  auto* value = new QLabel(QStringLiteral("0"), parent);
  value->setObjectName(QString::fromUtf8(name));
  form->addRow(QString::fromUtf8(label), value);
  return value;
}

QLineEdit* AddPathRow(QFormLayout* form, QWidget* parent, const char* label, const char* name, const char* title,
                      QPushButton** button) {
  auto* row = new QHBoxLayout;
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromUtf8(name));
  field->setMinimumWidth(280);
  *button = new QPushButton(QStringLiteral("..."), parent);
  (*button)->setObjectName(QString::fromUtf8(name) + QStringLiteral("Choose"));
  (*button)->setAutoDefault(false);
  (*button)->setToolTip(QString::fromUtf8(title));
  (*button)->setMaximumWidth((*button)->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  row->addWidget(field, 1);
  row->addWidget(*button);
  auto* labelWidget = new QLabel(QString::fromUtf8(label), parent);
  labelWidget->setBuddy(field);
  form->addRow(labelWidget, row);
  return field;
}

QSpinBox* AddSpin(QFormLayout* form, QWidget* parent, const char* label, const char* name, int low, int high, int value,
                  const char* unit) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromUtf8(name));
  spin->setRange(low, high);
  spin->setValue(value);
  if (unit) spin->setSuffix(QString::fromUtf8(unit));
  form->addRow(QString::fromUtf8(label), spin);
  return spin;
}

QCheckBox* AddSwitch(QFormLayout* form, QWidget* parent, const char* label, const char* name, bool on) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setChecked(on);
  auto* labelWidget = new QLabel(QString::fromUtf8(label), parent);
  labelWidget->setBuddy(box);
  form->addRow(labelWidget, box);
  return box;
}

QPixmap PixmapOf(const image::ChunkyImage* argb) {
  if (!argb || argb->format != image::ARGB32 || argb->width < 1 || argb->height < 1) return {};
  QImage picture(argb->width, argb->height, QImage::Format_ARGB32);
  if (picture.isNull()) return {};
  image::ConvertARGB32ToWords(argb->pixels, picture.bits(), argb->width, argb->height,
                              static_cast<size_t>(picture.bytesPerLine()));
  return QPixmap::fromImage(picture);
}

QString AskDrawer(QWidget* parent, const QString& start) {
  QFileDialog requester(parent, QStringLiteral("Please select a drawer..."));
  requester.setObjectName(QStringLiteral("drawerRequester"));
  requester.setOption(QFileDialog::DontUseNativeDialog);
  requester.setFileMode(QFileDialog::Directory);
  requester.setOption(QFileDialog::ShowDirsOnly);
  if (!start.isEmpty()) requester.setDirectory(start);
  if (requester.exec() != QDialog::Accepted || requester.selectedFiles().isEmpty()) return {};
  return requester.selectedFiles().constFirst();
}

QString AskFile(QWidget* parent, const QString& title, const QString& start, const char* name) {
  QFileDialog requester(parent, title);
  requester.setObjectName(QString::fromUtf8(name));
  requester.setOption(QFileDialog::DontUseNativeDialog);
  requester.setFileMode(QFileDialog::ExistingFile);
  const QFileInfo info(start);
  if (info.isDir())
    requester.setDirectory(start);
  else if (!start.isEmpty())
    requester.selectFile(start);
  if (requester.exec() != QDialog::Accepted || requester.selectedFiles().isEmpty()) return {};
  return requester.selectedFiles().constFirst();
}

}  // namespace vl::tools::ui
