#include "app/ui/jpeg_options_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "display/ui/preview.h"
#include "platform/ui/qt_main_thread_queue.h"

namespace vl::app::ui {

namespace {
constexpr const char* kOptimizeHelp = "At a cost of saving speed tries to reduce file size.\nHas no impact on quality.";
constexpr const char* kNoSubsamplingHelp =
    "Disabled subsampling of color components.\nResults in better colors representation at a cost of file size.";

// A check mark with its label on the left; the label's '&' key toggles it.
QCheckBox* AddCheckRow(QFormLayout* form, QWidget* parent, const char* label, const char* name, const char* help) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setToolTip(QString::fromUtf8(help));
  auto* text = new QLabel(QString::fromUtf8(label), parent);
  text->setBuddy(box);
  text->setToolTip(QString::fromUtf8(help));
  form->addRow(text, box);
  return box;
}
}  // namespace

JpegOptionsWindow::JpegOptionsWindow(app::Controller& controller, QWidget* parent, platform::MainThreadQueue* queue)
    : QDialog(parent),
      controller_(controller),
      runner_(std::make_unique<app::JpegTestRunner>(queue ? *queue : platform::ui::GuiQueue())) {
  setObjectName(QStringLiteral("jpegOptions"));
  setWindowTitle(QStringLiteral("JPEG Saver Options..."));
  setWindowModality(Qt::ApplicationModal);

  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;

  auto* qualityRow = new QHBoxLayout;
  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setObjectName(QStringLiteral("quality"));
  quality_->setRange(app::kJpegQualityMin, app::kJpegQualityMax);
  quality_->setValue(app::kJpegQualityDefault);
  quality_->setPageStep(5);
  qualityValue_ = new QLabel(QString::number(quality_->value()), this);
  qualityValue_->setObjectName(QStringLiteral("qualityValue"));
  qualityValue_->setMinimumWidth(qualityValue_->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 4);
  qualityValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  qualityRow->addWidget(quality_, 1);
  qualityRow->addWidget(qualityValue_);
  auto* qualityLabel = new QLabel(QStringLiteral("Quality:"), this);
  qualityLabel->setBuddy(quality_);
  form->addRow(qualityLabel, qualityRow);
  connect(quality_, &QSlider::valueChanged, qualityValue_, qOverload<int>(&QLabel::setNum));

  optimize_ = AddCheckRow(form, this, "O&ptimize:", "optimize", kOptimizeHelp);
  noSubsampling_ = AddCheckRow(form, this, "No &subsampling:", "noSubsampling", kNoSubsamplingHelp);
  layout->addLayout(form);

  preview_ = new display::ui::PreviewClass(this, queue);
  preview_->setObjectName(QStringLiteral("testPicture"));
  preview_->setMinimumSize(320, 240);
  layout->addWidget(preview_, 1);

  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(new QLabel(QStringLiteral("File size: "), this));
  fileSize_ = new QLabel(this);
  fileSize_->setObjectName(QStringLiteral("fileSize"));
  fileSize_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  sizeRow->addWidget(fileSize_, 1);
  layout->addLayout(sizeRow);

  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  test_ = new QPushButton(QStringLiteral("&Test"), this);
  test_->setObjectName(QStringLiteral("test"));
  test_->setAutoDefault(false);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  buttons->addWidget(test_);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(test_, &QPushButton::clicked, this, &JpegOptionsWindow::StartTest);
  resize(420, 440);
}

JpegOptionsWindow::~JpegOptionsWindow() {
  // Waits for a running test and drops its result, then lets the display go of the picture
  // before it is freed.
  runner_.reset();
  preview_->SetImage(nullptr);
}

void JpegOptionsWindow::Open() {
  show();
  raise();
  activateWindow();
  quality_->setFocus();
}

app::JpegSaveOptions JpegOptionsWindow::options() const {
  app::JpegSaveOptions o;
  o.quality = quality_->value();
  o.optimize = optimize_->isChecked();
  o.noSubsampling = noSubsampling_->isChecked();
  return o;
}

void JpegOptionsWindow::StartTest() {
  if (runner_->running()) return;
  const image::Texture* current = controller_.currentImage();
  const bool started = current && runner_->Start(current->chunky, options(), [this](app::JpegTestResult result) {
    ShowTestResult(std::move(result));
  });
  if (started)
    test_->setEnabled(false);
  else
    ShowTestResult(app::JpegTestResult{false, nullptr, 0, app::kJpegTestError});
}

void JpegOptionsWindow::ShowTestResult(app::JpegTestResult result) {
  // The display lets go of the last test picture before it is freed.
  preview_->SetImage(nullptr);
  testPicture_ = std::move(result.picture);
  const image::ChunkyImage* shown = testPicture_ ? testPicture_->chunky : nullptr;
  if (shown && shown->format == image::ARGB32) preview_->SetImage(shown);
  fileSize_->setText(QString::fromStdString(result.text));
  test_->setEnabled(true);
  Q_EMIT testFinished();
}

}  // namespace vl::app::ui
