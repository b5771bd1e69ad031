#include "browser/ui/rename_window.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vl::browser::ui {

namespace {
// Longer names than the file system takes are refused by the rename itself; the field
// stops a little above that.
constexpr int kMaxNameChars = 1024;
}  // namespace

RenameWindow::RenameWindow(const QString& originalName, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("renameWindow"));
  setWindowTitle(QStringLiteral("Rename file"));
  auto* form = new QFormLayout(this);
  auto* original = new QLabel(originalName, this);
  original->setObjectName(QStringLiteral("originalName"));
  original->setTextFormat(Qt::PlainText);
  original->setTextInteractionFlags(Qt::TextSelectableByMouse);
  form->addRow(QStringLiteral("Original name:"), original);
  name_ = new QLineEdit(originalName, this);
  name_->setObjectName(QStringLiteral("newName"));
  name_->setMaxLength(kMaxNameChars);
  name_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
  form->addRow(QStringLiteral("New name:"), name_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* rename = buttons->addButton(QStringLiteral("Rename"), QDialogButtonBox::AcceptRole);
  rename->setObjectName(QStringLiteral("rename"));
  rename->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cancel"));
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // The name without its suffix is selected, ready to be typed over.
  const int dot = originalName.lastIndexOf(QLatin1Char('.'));
  name_->setSelection(0, dot > 0 ? dot : originalName.size());
  name_->setFocus();
}

QString RenameWindow::newName() const {
  return name_->text();
}

std::optional<std::string> RenameWindow::Ask(const std::string& originalName, QWidget* parent) {
  const QString shown = QFile::decodeName(QByteArray::fromStdString(originalName));
  RenameWindow window(shown, parent);
  if (window.exec() != QDialog::Accepted || window.newName().isEmpty()) return std::nullopt;
  // A name that is not valid text does not survive the round trip through the field: left
  // as shown, it keeps its own bytes.
  if (window.newName() == shown) return originalName;
  return QFile::encodeName(window.newName()).toStdString();
}

}  // namespace vl::browser::ui
