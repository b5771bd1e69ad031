#include "tools/ui/batch_convert_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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

constexpr int kMaxSide = 32767;
constexpr int kFileWidth = 360;  // pixels of the "File:" line
constexpr const char* kDrawerTitle = "Please select a drawer...";

}  // namespace

BatchConvertWindow::BatchConvertWindow(QWidget* parent) : JobWindow(parent) {
  setObjectName(QStringLiteral("batchConvertWindow"));
  setWindowTitle(QStringLiteral("Batch converter"));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  source_ = AddPathRow(form, this, "Source path:", "sourcePath", kDrawerTitle, &chooseSource_);
  dest_ = AddPathRow(form, this, "Destination path:", "destPath", kDrawerTitle, &chooseDest_);
  width_ = AddSpin(form, this, "Width:", "width", 1, kMaxSide, job_.width, " px");
  height_ = AddSpin(form, this, "Height:", "height", 1, kMaxSide, job_.height, " px");
  enlarge_ = AddSwitch(form, this, "Enlarge:", "enlarge", job_.enlarge);
  reduce_ = AddSwitch(form, this, "Reduce:", "reduce", job_.reduce);
  quality_ = AddSpin(form, this, "Quality:", "quality", 10, 100, 90, nullptr);
  layout->addLayout(form);

  auto* statistics = new QGroupBox(QStringLiteral("Statistics"), this);
  statistics->setObjectName(QStringLiteral("statistics"));
  auto* stats = new QFormLayout(statistics);
  stats->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  scanned_ = AddCounter(stats, statistics, "Scanned files:", "scanned");
  converted_ = AddCounter(stats, statistics, "Converted files:", "converted");
  file_ = AddCounter(stats, statistics, "File:", "file");
  file_->setText(QString());
  file_->setMinimumWidth(kFileWidth);
  file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // a long name never widens the window
  difference_ = AddCounter(stats, statistics, "File size difference:", "sizeDifference");
  difference_->setText(QStringLiteral("none"));
  progress_ = new QProgressBar(statistics);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("0 of 0 entries"));
  stats->addRow(QStringLiteral("Progress:"), progress_);
  layout->addWidget(statistics);

  AddJobButtons(layout);

  connect(chooseSource_, &QPushButton::clicked, this, [this] { ChooseDrawer(source_); });
  connect(chooseDest_, &QPushButton::clicked, this, [this] { ChooseDrawer(dest_); });
  connect(start_, &QPushButton::clicked, this, &BatchConvertWindow::Start);

  // The worker's notifications: each asks for a refresh on the GUI thread. Queued calls to
  // this window are dropped when it goes, and it goes only after the worker has ended.
  auto refresh = [this](BatchJob&) { Post(); };
  job_.fileNotify = refresh;
  job_.scannedNotify = refresh;
  job_.processedNotify = refresh;
  job_.finishedNotify = [this](BatchJob&) { PostEnded(); };

  platform::ui::SetTabChain({source_, chooseSource_, dest_, chooseDest_, width_, height_, enlarge_, reduce_, quality_,
                             start_, stop_, cancel_});
  LockWhileRunning({source_, dest_, chooseSource_, chooseDest_, width_, height_, enlarge_, reduce_, quality_});
  UpdateEnabled();
}

BatchConvertWindow::~BatchConvertWindow() {
  stopper_.Wait();
  StopBatchConversion(job_);
}

void BatchConvertWindow::Open() {
  show();
  raise();
  activateWindow();
  if (!running_) source_->setFocus();
}

bool BatchConvertWindow::Start() {
  if (running_) return false;
  const std::string source = Encode(source_->text());
  const std::string dest = Encode(dest_->text());
  const std::string error = CheckBatchPaths(source, dest);
  if (!error.empty()) {
    platform::CurrentRequester().Error(error);
    return false;
  }
  job_.sourceDir = source;
  job_.destDir = dest;
  job_.width = width_->value();
  job_.height = height_->value();
  job_.enlarge = enlarge_->isChecked();
  job_.reduce = reduce_->isChecked();
  job_.quality = quality_->value();
  if (!StartBatchConversion(job_)) {
    platform::CurrentRequester().Error("The batch converter could not be started.");
    return false;
  }
  running_ = true;
  UpdateEnabled();
  Refresh();
  stop_->setFocus();
  return true;
}

void BatchConvertWindow::Stop() {
  if (!running_ || stopper_.active()) return;
  stopper_.Start([this] { StopBatchConversion(job_); });
  stop_->setEnabled(false);
}

void BatchConvertWindow::Refresh() {
  scanned_->setText(QString::number(job_.scanned.load()));
  converted_->setText(QString::number(job_.converted.load()));
  const QString file = Decode(job_.CurrentFile());
  file_->setText(file_->fontMetrics().elidedText(file, Qt::ElideMiddle, std::max(file_->width(), kFileWidth)));
  file_->setToolTip(file);
  difference_->setText(QString::fromStdString(SizeDifferenceText(job_.sizeDifference.load(), job_.SizeText())));
  const int entries = job_.entries.load();
  const int processed = job_.processed.load();
  progress_->setRange(0, std::max(entries, 1));
  progress_->setValue(std::min(processed, std::max(entries, 1)));
  progress_->setFormat(QStringLiteral("%1 of %2 entries").arg(processed).arg(entries));
}

void BatchConvertWindow::ChooseDrawer(QLineEdit* field) {
  const QString chosen = AskDrawer(this, field->text());
  if (!chosen.isEmpty()) field->setText(chosen);
}

void BatchConvertWindow::JoinJob() {
  StopBatchConversion(job_);
}

}  // namespace vl::tools::ui
