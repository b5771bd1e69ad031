#include "settings/ui/settings_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "platform/requester.h"
#include "platform/ui/qt_forms.h"
#include "platform/ui/qt_main_thread_queue.h"
#include "settings/ui/settings_pages.h"

namespace vl::settings::ui {

using platform::ui::AddButton;

namespace {
bool SameRecord(const Settings& a, const Settings& b) {
  return EncodeSettings(a) == EncodeSettings(b);
}
}  // namespace

SettingsWindow::SettingsWindow(const Settings& inUse, Apply apply, std::string configFile, QWidget* parent,
                               platform::MainThreadQueue* queue)
    : QDialog(parent), inUse_(inUse), apply_(std::move(apply)), configFile_(std::move(configFile)) {
  setObjectName(QStringLiteral("settingsWindow"));
  setWindowTitle(QStringLiteral("Settings"));
  maintenance_ = std::make_unique<thumbs::CacheMaintenanceRunner>(queue ? *queue : platform::ui::GuiQueue());

  auto* layout = new QVBoxLayout(this);
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("pages"));
  thumbnails_ = new ThumbnailsPage(pages_);
  browser_ = new SettingsPage(FormPage::Browser, pages_);
  general_ = new SettingsPage(FormPage::General, pages_);
  pages_->addTab(thumbnails_, QString::fromUtf8(PageTitle(FormPage::Thumbnails)));
  pages_->addTab(browser_, QString::fromUtf8(PageTitle(FormPage::Browser)));
  pages_->addTab(general_, QString::fromUtf8(PageTitle(FormPage::General)));
  layout->addWidget(pages_);

  auto* buttons = new QHBoxLayout;
  QPushButton* test = AddButton(buttons, this, "&Test", "test");
  buttons->addStretch(1);
  QPushButton* use = AddButton(buttons, this, "&Use", "use");
  use->setAutoDefault(true);
  use->setDefault(true);
  QPushButton* save = AddButton(buttons, this, "&Save", "save");
  buttons->addStretch(1);
  QPushButton* cancel = AddButton(buttons, this, "&Cancel", "cancel");
  layout->addLayout(buttons);

  connect(test, &QPushButton::clicked, this, &SettingsWindow::Test);
  connect(use, &QPushButton::clicked, this, &SettingsWindow::Use);
  connect(save, &QPushButton::clicked, this, &SettingsWindow::Save);
  connect(cancel, &QPushButton::clicked, this, &SettingsWindow::reject);
  connect(thumbnails_, &ThumbnailsPage::maintenanceRequested, this, &SettingsWindow::StartMaintenance);

  lastUsed_ = inUse_;
  for (SettingsPage* page : {static_cast<SettingsPage*>(thumbnails_), browser_, general_}) page->Show(inUse_);
}

SettingsWindow::~SettingsWindow() {
  // Stops a running maintenance job and waits for its worker.
  maintenance_.reset();
}

void SettingsWindow::Open() {
  if (!isVisible()) {
    lastUsed_ = inUse_;
    for (SettingsPage* page : {static_cast<SettingsPage*>(thumbnails_), browser_, general_}) page->Show(inUse_);
  }
  show();
  raise();
  activateWindow();
  pages_->currentWidget()->setFocus();
}

void SettingsWindow::ShowPage(int index) {
  pages_->setCurrentIndex(index);
}

bool SettingsWindow::Collect(Settings& values) {
  values = inUse_;
  std::string message;
  for (SettingsPage* page : {static_cast<SettingsPage*>(thumbnails_), browser_, general_}) {
    if (!page->Take(values, message)) {
      platform::CurrentRequester().Error(message);
      return false;
    }
  }
  // A new cache path must be usable; one already in use is left as it is.
  if (values.cachePath != inUse_.cachePath && !CheckCachePath(values.cachePath, message)) {
    pages_->setCurrentWidget(thumbnails_);
    platform::CurrentRequester().Error(message);
    return false;
  }
  return true;
}

void SettingsWindow::ApplyValues(const Settings& values) {
  apply_(values);
}

bool SettingsWindow::Test() {
  Settings values;
  if (!Collect(values)) return false;
  ApplyValues(values);
  return true;
}

bool SettingsWindow::Write(ConfigAction action) {
  Settings values;
  if (!Collect(values)) return false;
  ApplyValues(values);
  const std::vector<WriteFailure> failures = WriteConfigTargets(ConfigTargets(action, configFile_), values);
  if (!failures.empty()) {
    // The values are in use but not stored: the window stays, and "_Cancel" still undoes them.
    platform::CurrentRequester().Error(WriteFailureText(failures));
    return false;
  }
  lastUsed_ = values;
  maintenance_->Stop();
  thumbnails_->SetMaintenanceRunning(false);
  QDialog::accept();
  return true;
}

bool SettingsWindow::Use() {
  return Write(ConfigAction::Use);
}

bool SettingsWindow::Save() {
  return Write(ConfigAction::Save);
}

void SettingsWindow::reject() {
  if (maintenance_->running()) {
    maintenance_->Stop();
    thumbnails_->ShowMaintenanceResult({false, true, std::string(), "Stopped"});
  }
  for (SettingsPage* page : {static_cast<SettingsPage*>(thumbnails_), browser_, general_}) page->Show(lastUsed_);
  if (!SameRecord(inUse_, lastUsed_)) ApplyValues(lastUsed_);
  QDialog::reject();
}

void SettingsWindow::StartMaintenance(thumbs::CacheAction action) {
  // Every action works on the cache path in use: a path still being typed is never the
  // target of a deletion.
  const bool started = maintenance_->Start(action, inUse_.cachePath, [this](const thumbs::CacheActionResult& result) {
    thumbnails_->ShowMaintenanceResult(result);
  });
  if (started) thumbnails_->SetMaintenanceRunning(true);
}

}  // namespace vl::settings::ui
