#include "app/ui/jpeg_transform_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/requester.h"
#include "platform/ui/qt_forms.h"
#include "platform/ui/qt_main_thread_queue.h"

namespace vl::app::ui {
namespace {

constexpr int kPreviewBox = 240;
constexpr const char* kErrorTitle = "JPEG Transformation error...";

struct Choice {
  const char* label;
  const char* name;
  formats::JpegTransformation transformation;
};
constexpr Choice kChoices[] = {
    {"None", "none", formats::JpegTransformation::kNone},
    {"Rotate 90 degrees", "rotate90", formats::JpegTransformation::kRotate90},
    {"Rotate 180 degrees", "rotate180", formats::JpegTransformation::kRotate180},
    {"Rotate 270 degrees", "rotate270", formats::JpegTransformation::kRotate270},
    {"Flip horizontal", "flipHorizontal", formats::JpegTransformation::kFlipHorizontal},
    {"Flip vertical", "flipVertical", formats::JpegTransformation::kFlipVertical},
};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

JpegTransformWindow::JpegTransformWindow(Controller& controller, QWidget* parent, platform::MainThreadQueue* queue)
    : QDialog(parent),
      controller_(controller),
      jobs_(std::make_unique<JpegTransformJobs>(queue ? *queue : platform::ui::GuiQueue())) {
  setObjectName(QStringLiteral("jpegTransformWindow"));
  setWindowTitle(QStringLiteral("JPEG Transformations"));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  body_ = new QWidget(this);
  auto* bodyLayout = new QVBoxLayout(body_);
  bodyLayout->setContentsMargins(0, 0, 0, 0);
  auto* top = new QHBoxLayout();
  preview_ = new QLabel(body_);
  preview_->setObjectName(QStringLiteral("preview"));
  preview_->setFixedSize(kPreviewBox + 4, kPreviewBox + 4);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFrameShape(QFrame::StyledPanel);
  top->addWidget(preview_, 0);

  auto* group = new QGroupBox(QStringLiteral("Transformation"), body_);
  group->setObjectName(QStringLiteral("transformation"));
  auto* radios = new QVBoxLayout(group);
  choices_ = new QButtonGroup(this);
  for (int i = 0; i < static_cast<int>(std::size(kChoices)); ++i) {
    auto* b = new QRadioButton(QString::fromUtf8(kChoices[i].label), group);
    b->setObjectName(QString::fromUtf8(kChoices[i].name));
    choices_->addButton(b, i);
    radios->addWidget(b);
  }
  radios->addStretch(1);
  choices_->button(0)->setChecked(true);
  top->addWidget(group, 1);
  bodyLayout->addLayout(top);

  auto* form = new QFormLayout();
  form->setLabelAlignment(Qt::AlignRight);
  trim_ = new QCheckBox(body_);
  trim_->setObjectName(QStringLiteral("trim"));
  auto* trimLabel = new QLabel(QStringLiteral("&Trim non-transformable edge blocks:"), body_);
  trimLabel->setBuddy(trim_);
  form->addRow(trimLabel, trim_);
  auto* outputRow = new QHBoxLayout();
  output_ = new QLineEdit(body_);
  output_->setObjectName(QStringLiteral("output"));
  output_->setMinimumWidth(280);
  chooseOutput_ = new QToolButton(body_);
  chooseOutput_->setText(QStringLiteral("..."));
  chooseOutput_->setObjectName(QStringLiteral("chooseOutput"));
  chooseOutput_->setToolTip(QStringLiteral("Choose the output file"));
  outputRow->addWidget(output_, 1);
  outputRow->addWidget(chooseOutput_, 0);
  auto* outputLabel = new QLabel(QStringLiteral("&Output file:"), body_);
  outputLabel->setBuddy(output_);
  form->addRow(outputLabel, outputRow);
  bodyLayout->addLayout(form);
  layout->addWidget(body_);

  platform::ui::AddExecuteCancelRow(layout, this, execute_, cancel_);

  connect(choices_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) ShowPreview();
  });
  connect(chooseOutput_, &QToolButton::clicked, this, &JpegTransformWindow::ChooseOutput);
  connect(execute_, &QPushButton::clicked, this, &JpegTransformWindow::Execute);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

JpegTransformWindow::~JpegTransformWindow() {
  if (busy()) QApplication::restoreOverrideCursor();
}

bool JpegTransformWindow::Open() {
  if (isVisible()) {
    raise();
    activateWindow();
    return true;
  }
  const image::Texture* picture = controller_.currentImage();
  if (!picture || !picture->chunky) return false;
  const std::string source = TransformSourcePath(controller_.currentPath());
  if (!IsJpegPicture(source)) return false;
  source_ = source;
  output_->setText(Q(source_));
  base_.reset();
  preview_->clear();
  StartPreview();
  show();
  raise();
  activateWindow();
  if (QAbstractButton* chosen = choices_->checkedButton()) chosen->setFocus();
  return true;
}

void JpegTransformWindow::StartPreview() {
  const image::Texture* picture = controller_.currentImage();
  if (!picture || !picture->chunky) return;
  if (jobs_->previewRunning()) {
    previewAgain_ = true;
    return;
  }
  previewAgain_ = false;
  jobs_->StartPreview(picture->chunky, kPreviewBox, kPreviewBox, [this](image::ChunkyPtr preview) {
    if (previewAgain_) {
      StartPreview();
      return;
    }
    base_ = std::move(preview);
    ShowPreview();
    Q_EMIT previewShown();
  });
}

formats::JpegTransformation JpegTransformWindow::Selected() const {
  const int id = choices_->checkedId();
  return id >= 0 && id < static_cast<int>(std::size(kChoices)) ? kChoices[id].transformation
                                                               : formats::JpegTransformation::kNone;
}

void JpegTransformWindow::ShowPreview() {
  if (!base_) return;
  image::ChunkyPtr turned(TransformPreview(base_.get(), Selected()));
  if (!turned || turned->format != image::ARGB32) {
    preview_->clear();
    return;
  }
  QImage shown(turned->width, turned->height, QImage::Format_ARGB32);
  if (shown.isNull()) return;
  image::ConvertARGB32ToWords(turned->pixels, shown.bits(), turned->width, turned->height,
                              static_cast<size_t>(shown.bytesPerLine()));
  preview_->setPixmap(QPixmap::fromImage(shown));
}

void JpegTransformWindow::ChooseOutput() {
  const QString chosen =
      QFileDialog::getSaveFileName(this, QStringLiteral("Please select a destination file..."), output_->text());
  if (!chosen.isEmpty()) output_->setText(chosen);
}

void JpegTransformWindow::Execute() {
  if (busy()) return;
  const formats::JpegTransformation t = Selected();
  if (t == formats::JpegTransformation::kNone) return;
  const TransformOutput out = ResolveTransformOutput(source_, output_->text().toStdString());
  if (!out.ok) {
    platform::CurrentRequester().Ask(kErrorTitle, out.error, "OK");
    return;
  }
  if (!jobs_->StartTransform(source_, out.path, t, trim_->isChecked(),
                             [this](JpegTransformResult result) { Finished(result); }))
    return;
  SetBusy(true);
}

void JpegTransformWindow::SetBusy(bool busy) {
  body_->setEnabled(!busy);
  execute_->setEnabled(!busy);
  if (busy)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

void JpegTransformWindow::Finished(const JpegTransformResult& result) {
  SetBusy(false);
  if (!result.ok) {
    platform::CurrentRequester().Ask(kErrorTitle, result.error, "OK");
    Q_EMIT transformFinished(false);
    return;
  }
  // The picture shown came from the file just replaced: it is read again, unless an edit
  // of it is under way (a tool window holds its backup) or the user keeps the edits made.
  const std::string current = controller_.currentPath();
  if (result.changed && !current.empty() && !controller_.editBackup() &&
      formats::SameFile(TransformSourcePath(current), result.output)) {
    const bool edited = controller_.undoImage() || controller_.redoImage();
    if (!edited || platform::CurrentRequester().Ask("", kReloadEditedQuestion, kReloadEditedButtons) == 0)
      controller_.OpenPicture(current.c_str());
  }
  accept();
  Q_EMIT transformFinished(true);
}

}  // namespace vl::app::ui
