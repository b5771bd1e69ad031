#include "tools/ui/thumbnailer_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/requester.h"
#include "platform/ui/qt_forms.h"
#include "tools/ui/form_rows.h"

namespace vl::tools::ui {

namespace {

constexpr int kMaxSide = 1024;    // the thumbnail's box, pixels
constexpr int kMaxOffset = 1024;  // pixels either way
constexpr int kPreviewSide = 128;
constexpr int kFileWidth = 360;

QLabel* AddPreview(QGridLayout* grid, QWidget* parent, int column, const char* caption, const char* name) {
  auto* title = new QLabel(QString::fromUtf8(caption), parent);
  title->setAlignment(Qt::AlignCenter);
  auto* view = new QLabel(parent);
  view->setObjectName(QString::fromUtf8(name));
  view->setAlignment(Qt::AlignCenter);
  view->setFixedSize(kPreviewSide + 8, kPreviewSide + 8);
  view->setFrameShape(QFrame::StyledPanel);
  grid->addWidget(view, 0, column, Qt::AlignCenter);
  grid->addWidget(title, 1, column);
  return view;
}

// The pixmap, shrunk to the preview's size when it is larger.
QPixmap Fitted(const QPixmap& pixmap) {
  if (pixmap.width() <= kPreviewSide && pixmap.height() <= kPreviewSide) return pixmap;
  return pixmap.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

ThumbnailerWindow::ThumbnailerWindow(QWidget* parent) : JobWindow(parent), example_(LoadExampleImage()) {
  setObjectName(QStringLiteral("thumbnailerWindow"));
  setWindowTitle(QStringLiteral("Thumbnailer"));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  path_ = AddPathRow(form, this, "Path:", "path", "Please select a drawer...", &choosePath_);
  recursive_ = AddSwitch(form, this, "&Recursive:", "recursive", job_.recursive);
  defaultTool_ =
      AddPathRow(form, this, "Default tool:", "defaultTool", "Please select a default tool...", &chooseTool_);
  auto* note = new QLabel(QStringLiteral("(Default tool is only set if suffix is set to '.info')"), this);
  note->setObjectName(QStringLiteral("defaultToolNote"));
  form->addRow(QString(), note);
  suffix_ = new QLineEdit(QString::fromStdString(job_.suffix), this);
  suffix_->setObjectName(QStringLiteral("suffix"));
  suffix_->setMaxLength(64);
  form->addRow(QStringLiteral("Suffix:"), suffix_);
  replace_ = AddSwitch(form, this, "Replace:", "replace", job_.replace);
  layout->addLayout(form);

  auto* groups = new QHBoxLayout;
  auto* thumbnail = new QGroupBox(QStringLiteral("Thumbnail"), this);
  thumbnail->setObjectName(QStringLiteral("thumbnail"));
  auto* thumbForm = new QFormLayout(thumbnail);
  thumbForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  width_ = AddSpin(thumbForm, thumbnail, "Width:", "width", 1, kMaxSide, job_.width, " px");
  height_ = AddSpin(thumbForm, thumbnail, "Height:", "height", 1, kMaxSide, job_.height, " px");
  aspect_ = AddSwitch(thumbForm, thumbnail, "Preserve aspect ratio:", "preserveAspect", job_.preserveAspect);
  groups->addWidget(thumbnail, 0, Qt::AlignTop);

  auto* templ = new QGroupBox(QStringLiteral("Template"), this);
  templ->setObjectName(QStringLiteral("template"));
  auto* templLayout = new QVBoxLayout(templ);
  auto* templForm = new QFormLayout;
  templForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  enable_ = AddSwitch(templForm, templ, "&Enable:", "enableTemplate", false);
  offsetX_ = AddSpin(templForm, templ, "Offset X:", "offsetX", -kMaxOffset, kMaxOffset, job_.offsetX, " px");
  offsetY_ = AddSpin(templForm, templ, "Offset Y:", "offsetY", -kMaxOffset, kMaxOffset, job_.offsetY, " px");
  templatePath_ = AddPathRow(templForm, templ, "Template image", "templateImage", "Please select a template image...",
                             &chooseTemplate_);
  templatePath_->setMinimumWidth(200);
  templLayout->addLayout(templForm);
  auto* previews = new QGridLayout;
  exampleView_ = AddPreview(previews, templ, 0, "Example image", "exampleImage");
  thumbView_ = AddPreview(previews, templ, 1, "Example thumbnail", "exampleThumbnail");
  templLayout->addLayout(previews);
  groups->addWidget(templ, 1);
  layout->addLayout(groups);

  auto* statistics = new QGroupBox(QStringLiteral("Statistics"), this);
  statistics->setObjectName(QStringLiteral("statistics"));
  auto* stats = new QFormLayout(statistics);
  stats->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  directories_ = AddCounter(stats, statistics, "Scanned directories:", "scannedDirectories");
  files_ = AddCounter(stats, statistics, "Scanned files:", "scannedFiles");
  created_ = AddCounter(stats, statistics, "Created thumbnails:", "createdThumbnails");
  file_ = AddCounter(stats, statistics, "File:", "file");
  file_->setText(QString());
  file_->setMinimumWidth(kFileWidth);
  file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // a long name never widens the window
  progress_ = new QProgressBar(statistics);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("Idle"));
  stats->addRow(QStringLiteral("Progress:"), progress_);
  layout->addWidget(statistics);

  AddJobButtons(layout);

  if (example_) exampleView_->setPixmap(Fitted(PixmapOf(ToARGB32(example_->chunky).get())));

  connect(choosePath_, &QPushButton::clicked, this, &ThumbnailerWindow::ChooseDrawer);
  connect(chooseTool_, &QPushButton::clicked, this, &ThumbnailerWindow::ChooseDefaultTool);
  connect(chooseTemplate_, &QPushButton::clicked, this, &ThumbnailerWindow::ChooseTemplate);
  connect(templatePath_, &QLineEdit::editingFinished, this, [this] { SetTemplate(templatePath_->text()); });
  for (QSpinBox* spin : {width_, height_, offsetX_, offsetY_})
    connect(spin, &QSpinBox::valueChanged, this, &ThumbnailerWindow::UpdateExample);
  for (QCheckBox* box : {aspect_, enable_}) connect(box, &QCheckBox::toggled, this, &ThumbnailerWindow::UpdateExample);
  connect(start_, &QPushButton::clicked, this, &ThumbnailerWindow::Start);

  // The worker's notifications: each asks for a refresh on the GUI thread. Queued calls to
  // this window are dropped when it goes, and it goes only after the worker has ended.
  auto refresh = [this](ThumbnailerJob&) { Post(); };
  job_.fileNotify = refresh;
  job_.scannedNotify = refresh;
  job_.directoryNotify = refresh;
  job_.finishedNotify = [this](ThumbnailerJob&) { PostEnded(); };

  platform::ui::SetTabChain({path_, choosePath_, recursive_, defaultTool_, chooseTool_, suffix_, replace_, width_,
                             height_, aspect_, enable_, offsetX_, offsetY_, templatePath_, chooseTemplate_, start_,
                             stop_, cancel_});
  LockWhileRunning({path_, choosePath_, recursive_, defaultTool_, chooseTool_, suffix_, replace_, width_, height_,
                    aspect_, enable_, offsetX_, offsetY_, templatePath_, chooseTemplate_});
  UpdateExample();
  UpdateEnabled();
}

ThumbnailerWindow::~ThumbnailerWindow() {
  stopper_.Wait();
  StopThumbnailer(job_);
}

void ThumbnailerWindow::Open() {
  show();
  raise();
  activateWindow();
  if (!running_) path_->setFocus();
}

bool ThumbnailerWindow::Start() {
  if (running_) return false;
  platform::Requester& requester = platform::CurrentRequester();
  const std::string suffix = Encode(suffix_->text());
  if (suffix.empty()) {
    requester.Ask("Error!", kNoSuffixText, "OK");
    return false;
  }
  std::string error = CheckThumbnailSuffix(suffix);
  if (error.empty()) error = CheckThumbnailerPath(Encode(path_->text()));
  if (!error.empty()) {
    requester.Error(error);
    return false;
  }
  if (enable_->isChecked()) {
    // Read again: the file may have changed since it was chosen.
    image::TexturePtr picture = LoadTemplateImage(Encode(templatePath_->text()), error);
    if (!picture) {
      requester.Error(error);
      return false;
    }
    template_ = std::move(picture);
    UpdateExample();
  }
  job_.path = Encode(path_->text());
  job_.recursive = recursive_->isChecked();
  job_.defaultTool = Encode(defaultTool_->text());
  job_.suffix = suffix;
  job_.replace = replace_->isChecked();
  job_.width = width_->value();
  job_.height = height_->value();
  job_.preserveAspect = aspect_->isChecked();
  job_.templateImage = enable_->isChecked() ? template_.get() : nullptr;
  job_.offsetX = offsetX_->value();
  job_.offsetY = offsetY_->value();
  if (!StartThumbnailer(job_)) {
    requester.Error("The thumbnailer could not be started.");
    return false;
  }
  running_ = true;
  UpdateEnabled();
  Refresh();
  stop_->setFocus();
  return true;
}

void ThumbnailerWindow::Stop() {
  if (!running_ || stopper_.active()) return;
  stopper_.Start([this] { StopThumbnailer(job_); });
  stop_->setEnabled(false);
}

void ThumbnailerWindow::SetTemplate(const QString& path) {
  if (running_) return;  // the job reads the template it was given
  if (templatePath_->text() != path) templatePath_->setText(path);
  std::string error;
  template_ = path.isEmpty() ? nullptr : LoadTemplateImage(Encode(path), error);
  templatePath_->setToolTip(QString::fromStdString(error));
  UpdateExample();
}

void ThumbnailerWindow::Refresh() {
  const unsigned files = job_.scannedFiles.load();
  directories_->setText(QString::number(job_.scannedDirectories.load()));
  files_->setText(QString::number(files));
  created_->setText(QString::number(job_.createdThumbnails.load()));
  const QString file = Decode(job_.CurrentFile());
  file_->setText(file_->fontMetrics().elidedText(file, Qt::ElideMiddle, std::max(file_->width(), kFileWidth)));
  file_->setToolTip(file);
  // The walk finds its files as it goes: while it runs the bar only says it is busy.
  if (running_) {
    progress_->setRange(0, 0);
  } else {
    progress_->setRange(0, 1);
    progress_->setValue(1);
  }
  progress_->setFormat(QStringLiteral("%1 files scanned").arg(files));
}

void ThumbnailerWindow::UpdateExample() {
  const image::Texture* templ = enable_->isChecked() ? template_.get() : nullptr;
  exampleThumb_ = MakeExampleThumbnail(example_.get(), templ, width_->value(), height_->value(), offsetX_->value(),
                                       offsetY_->value(), aspect_->isChecked());
  if (exampleThumb_) {
    thumbView_->setPixmap(Fitted(PixmapOf(exampleThumb_.get())));
  } else {
    thumbView_->setPixmap(QPixmap());
    thumbView_->setText(QStringLiteral("No preview"));
  }
}

void ThumbnailerWindow::ChooseDrawer() {
  const QString chosen = AskDrawer(this, path_->text());
  if (!chosen.isEmpty()) path_->setText(chosen);
}

void ThumbnailerWindow::ChooseDefaultTool() {
  const QString chosen =
      AskFile(this, QStringLiteral("Please select a default tool..."), defaultTool_->text(), "defaultToolRequester");
  if (!chosen.isEmpty()) defaultTool_->setText(chosen);
}

void ThumbnailerWindow::ChooseTemplate() {
  const QString start = templatePath_->text().isEmpty() ? Decode(TemplateDirectory()) : templatePath_->text();
  const QString chosen = AskFile(this, QStringLiteral("Please select a template image..."), start, "templateRequester");
  if (!chosen.isEmpty()) SetTemplate(chosen);
}

void ThumbnailerWindow::JoinJob() {
  StopThumbnailer(job_);
}

}  // namespace vl::tools::ui
