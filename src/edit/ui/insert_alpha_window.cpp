#include "edit/ui/insert_alpha_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "edit/tool_labels.h"
#include "edit/ui/param_row.h"
#include "image/chunky.h"

namespace vl::edit::ui {

namespace {

constexpr int kPreviewSide = 160;

QCheckBox* Switch(const char* label, const QString& name, QGridLayout* grid, int row, QWidget* area) {
  auto* box = new QCheckBox(area);
  box->setObjectName(name);
  auto* text = new QLabel(WidgetText(label), area);
  text->setBuddy(box);
  grid->addWidget(text, row, 0);
  grid->addWidget(box, row, 1, Qt::AlignLeft);
  return box;
}

}  // namespace

InsertAlphaWindow::InsertAlphaWindow(app::Controller& controller, QWidget* parent)
    : ToolWindow(controller, QStringLiteral("Insert alpha"), ToolKind::kInPlace, parent) {
  setObjectName(QStringLiteral("insertAlphaWindow"));
  QWidget* area = parameterArea();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* grid = new QGridLayout();
  auto* fileLabel = new QLabel(WidgetText(kInsertAlphaFileLabel), area);
  file_ = new QLineEdit(area);
  file_->setObjectName(QStringLiteral("file"));
  fileLabel->setBuddy(file_);
  QPushButton* choose = AreaButton(QStringLiteral("..."), QStringLiteral("chooseFile"), area);
  auto* fileRow = new QHBoxLayout();
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(choose);
  grid->addWidget(fileLabel, 0, 0);
  grid->addLayout(fileRow, 0, 1);
  resize_ = Switch(kInsertAlphaResizeLabel, QStringLiteral("resize"), grid, 1, area);
  negative_ = Switch(kInsertAlphaNegativeLabel, QStringLiteral("negative"), grid, 2, area);
  grid->setColumnStretch(1, 1);
  file_->setMinimumWidth(file_->fontMetrics().averageCharWidth() * 36);
  layout->addLayout(grid);
  preview_ = new QLabel(area);
  preview_->setObjectName(QStringLiteral("alphaPreview"));
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setMinimumSize(kPreviewSide, kPreviewSide);
  preview_->setFrameShape(QFrame::StyledPanel);
  layout->addWidget(preview_, 1);

  connect(choose, &QPushButton::clicked, this, &InsertAlphaWindow::ChooseFile);
  // A file is tried once its name is complete, not at every key.
  connect(file_, &QLineEdit::editingFinished, this, [this] {
    if (file_->isModified()) {
      file_->setModified(false);
      ParametersChanged();
    }
  });
  connect(resize_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  connect(negative_, &QCheckBox::toggled, this, [this] { ParametersChanged(); });
  connect(this, &ToolWindow::closed, this, [this] {
    tool_.ClosePreview();
    ShowAlphaPicture();
  });
  ShowAlphaPicture();
}

InsertAlphaWindow::~InsertAlphaWindow() {
  QuietParameters(parameterArea());
}

InsertAlphaParams InsertAlphaWindow::parameters() const {
  InsertAlphaParams p;
  p.file = file_->text().toStdString();
  p.resize = resize_->isChecked();
  p.negative = negative_->isChecked();
  return p;
}

void InsertAlphaWindow::SetFile(const QString& file) {
  file_->setText(file);
  file_->setModified(false);
  ParametersChanged();
}

void InsertAlphaWindow::PreviewStep() {
  if (file_->text().isEmpty()) return;
  RunTool();
}

void InsertAlphaWindow::StartExecute() {
  FinishExecute(RunTool());
}

bool InsertAlphaWindow::RunTool() {
  const bool ok = ApplyInsertAlpha(controller(), tool_, parameters()) == 0;
  ShowAlphaPicture();
  return ok;
}

void InsertAlphaWindow::ShowAlphaPicture() {
  const image::Texture* alpha = tool_.Preview();
  if (!alpha || !alpha->chunky || alpha->chunky->format != image::ARGB32) {
    preview_->setPixmap(QPixmap());
    preview_->setText(QStringLiteral("No alpha image"));
    return;
  }
  const image::ChunkyImage& c = *alpha->chunky;
  std::vector<uint8_t> rgb(static_cast<size_t>(c.width) * c.height * 3);
  image::ConvertARGB32ToRGB24(c.pixels, rgb.data(), c.width, c.height);
  const QImage picture(rgb.data(), c.width, c.height, c.width * 3, QImage::Format_RGB888);
  preview_->setPixmap(
      QPixmap::fromImage(picture.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void InsertAlphaWindow::ChooseFile() {
  QFileDialog requester(this, QStringLiteral("Select alpha image..."));
  requester.setObjectName(QStringLiteral("alphaFileRequester"));
  requester.setOption(QFileDialog::DontUseNativeDialog);
  requester.setFileMode(QFileDialog::ExistingFile);
  if (!file_->text().isEmpty()) requester.selectFile(file_->text());
  if (requester.exec() == QDialog::Accepted && !requester.selectedFiles().isEmpty())
    SetFile(requester.selectedFiles().constFirst());
}

}  // namespace vl::edit::ui
