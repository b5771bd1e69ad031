#include "app/ui/exif_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "formats/exif.h"

namespace vl::app::ui {

ExifWindow::ExifWindow(ExifWindowModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("exifWindow"));
  setWindowTitle(QString::fromUtf8(formats::kExifWindowTitle));
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  lines_ = new QFormLayout();
  lines_->setObjectName(QStringLiteral("exifLines"));
  lines_->setLabelAlignment(Qt::AlignRight);
  lines_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  layout->addLayout(lines_);
  layout->addStretch(1);
  setMinimumWidth(300);

  // Escape and the close button end in finished(); the program's own closing hides the
  // window without it.
  connect(this, &QDialog::finished, this, [this] { Q_EMIT closedByUser(); });
  model_.SetListener([this] { Update(); });
  Update();
}

ExifWindow::~ExifWindow() {
  model_.SetListener({});
}

void ExifWindow::Update() {
  while (lines_->rowCount() > 0) lines_->removeRow(0);
  int row = 0;
  for (const auto& [label, text] : model_.WindowLines()) {
    auto* name = new QLabel(QString::fromStdString(label), this);
    name->setObjectName(QStringLiteral("exifLabel%1").arg(row));
    auto* value = new QLabel(QString::fromStdString(text), this);
    value->setObjectName(QStringLiteral("exifValue%1").arg(row));
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lines_->addRow(name, value);
    ++row;
  }
  if (model_.open && !isVisible()) {
    show();
  } else if (!model_.open && isVisible()) {
    hide();
  }
}

}  // namespace vl::app::ui
