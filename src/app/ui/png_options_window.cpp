#include "app/ui/png_options_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace vl::app::ui {

PngOptionsWindow::PngOptionsWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("pngOptions"));
  setWindowTitle(QStringLiteral("PNG Saver Options..."));
  setWindowModality(Qt::ApplicationModal);

  auto* layout = new QVBoxLayout(this);
  alpha_ = new QCheckBox(QStringLiteral("Save &alpha channel"), this);
  alpha_->setObjectName(QStringLiteral("saveAlpha"));
  alpha_->setChecked(false);
  layout->addWidget(alpha_);

  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void PngOptionsWindow::Open() {
  show();
  raise();
  activateWindow();
  alpha_->setFocus();
}

app::PngSaveOptions PngOptionsWindow::options() const {
  app::PngSaveOptions o;
  o.withAlpha = alpha_->isChecked();
  return o;
}

}  // namespace vl::app::ui
