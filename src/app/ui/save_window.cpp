#include "app/ui/save_window.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/jpeg_options_window.h"
#include "app/ui/png_options_window.h"
#include "platform/requester.h"
#include "platform/ui/qt_forms.h"

namespace vl::app::ui {

using platform::ui::AddButton;
using platform::ui::Decode;
using platform::ui::Encode;

SaveWindow::SaveWindow(app::Controller& controller, const settings::Settings& prefs, QWidget* parent,
                       platform::MainThreadQueue* queue)
    : QDialog(parent), controller_(controller), prefs_(prefs) {
  setObjectName(QStringLiteral("saveWindow"));
  setWindowTitle(QStringLiteral("Save image..."));

  // Everything but the options windows sits in body_, which is disabled while one of them
  // is open: the window takes no input then, and its keys do not compete with theirs.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  body_ = new QWidget(this);
  outer->addWidget(body_);
  auto* layout = new QVBoxLayout(body_);
  formats_ = new QListWidget(body_);
  formats_->setObjectName(QStringLiteral("formats"));
  for (int i = 0; i < app::kSaveFormatCount; ++i)
    formats_->addItem(QString::fromUtf8(app::SaveFormatName(app::SaveFormatAt(i))));
  formats_->setCurrentRow(0);
  formats_->setSelectionMode(QAbstractItemView::SingleSelection);
  formats_->setMaximumHeight(formats_->sizeHintForRow(0) * app::kSaveFormatCount + 2 * formats_->frameWidth() + 4);
  layout->addWidget(formats_);

  auto* form = new QFormLayout;
  path_ = new QLineEdit(body_);
  path_->setObjectName(QStringLiteral("path"));
  path_->setMinimumWidth(360);
  form->addRow(QStringLiteral("Path:"), path_);
  layout->addLayout(form);

  auto* buttons = new QHBoxLayout;
  QPushButton* save = AddButton(buttons, body_, "&Save", "save");
  save->setAutoDefault(true);
  save->setDefault(true);
  QPushButton* saveAs = AddButton(buttons, body_, "Save &As...", "saveAs");
  config_ = AddButton(buttons, body_, "C&onfig...", "config");
  buttons->addStretch(1);
  QPushButton* cancel = AddButton(buttons, body_, "&Cancel", "cancel");
  layout->addLayout(buttons);

  jpeg_ = new JpegOptionsWindow(controller_, this, queue);
  png_ = new PngOptionsWindow(this);
  for (QDialog* options : {static_cast<QDialog*>(jpeg_), static_cast<QDialog*>(png_)})
    connect(options, &QDialog::finished, this, [this] {
      body_->setEnabled(true);
      config_->setFocus();
      Q_EMIT optionsWindowOpen(false);
    });

  connect(formats_, &QListWidget::currentRowChanged, this, &SaveWindow::FormatChanged);
  connect(save, &QPushButton::clicked, this, &SaveWindow::Save);
  connect(saveAs, &QPushButton::clicked, this, &SaveWindow::SaveAs);
  connect(config_, &QPushButton::clicked, this, &SaveWindow::Config);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  platform::ui::SetTabChain({formats_, path_, save, saveAs, config_, cancel});
}

SaveWindow::~SaveWindow() = default;

bool SaveWindow::Open() {
  if (!controller_.currentImage()) return false;
  if (!isVisible())
    path_->setText(Decode(app::SuggestedName(controller_.currentPath(), format(), prefs_.replaceSuffix)));
  show();
  raise();
  activateWindow();
  path_->setFocus();
  return true;
}

app::SaveFormat SaveWindow::format() const {
  return app::SaveFormatAt(formats_->currentRow());
}

app::SaveOptions SaveWindow::options() const {
  return app::SaveOptions{jpeg_->options(), png_->options()};
}

void SaveWindow::FormatChanged() {
  path_->setText(Decode(app::SuggestedName(Encode(path_->text()), format(), prefs_.replaceSuffix)));
}

bool SaveWindow::Save() {
  const app::SaveResult result = app::SaveCurrentPicture(controller_, Encode(path_->text()), format(), options());
  if (!result.ok) {
    platform::CurrentRequester().Error(result.error);
    return false;
  }
  accept();
  Q_EMIT saved(path_->text());
  return true;
}

void SaveWindow::SaveAs() {
  auto* dialog = new QFileDialog(this, QString::fromStdString(app::SaveAsTitle(format())));
  dialog->setObjectName(QStringLiteral("saveAsDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  const QFileInfo start(Decode(app::SaveAsStartPath(Encode(path_->text()))));
  dialog->setDirectory(start.absolutePath());
  dialog->selectFile(start.fileName());
  // Queued, so that the requester has closed before the save (and its own window) goes on.
  connect(
      dialog, &QFileDialog::fileSelected, this,
      [this](const QString& file) {
        path_->setText(file);
        Save();
      },
      Qt::QueuedConnection);
  dialog->open();
}

void SaveWindow::Config() {
  switch (format()) {
    case app::SaveFormat::kJpeg:
      body_->setEnabled(false);
      Q_EMIT optionsWindowOpen(true);
      jpeg_->Open();
      break;
    case app::SaveFormat::kPng:
      body_->setEnabled(false);
      Q_EMIT optionsWindowOpen(true);
      png_->Open();
      break;
    case app::SaveFormat::kIff: break;  // IFF has no options
  }
}

}  // namespace vl::app::ui
