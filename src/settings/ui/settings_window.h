// "Settings": the settings record in three pages ("Thumbnails", "Browser", "General") with
// "_Test" (the values go to the running program, the window stays), "_Use" (they go and are
// written to the settings in use), "_Save" (also to the permanent file) and "_Cancel" (the
// values in use when the window opened come back, undoing a "_Test"). The window is kept for
// the run; each opening starts from the values in use.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "platform/main_thread_queue.h"
#include "settings/settings.h"
#include "settings/settings_form.h"
#include "thumbs/maintenance.h"

class QTabWidget;

namespace vl::settings::ui {

class SettingsPage;
class ThumbnailsPage;

class SettingsWindow : public QDialog {
  Q_OBJECT

 public:
  using Apply = std::function<void(const Settings& values)>;
  // inUse: the settings the program runs with (it outlives the window); apply hands new
  // values to the program, after which inUse holds them. configFile: the file of --config,
  // or empty. The cache maintenance reports back through queue (the GUI's own when null).
  SettingsWindow(const Settings& inUse, Apply apply, std::string configFile, QWidget* parent = nullptr,
                 platform::MainThreadQueue* queue = nullptr);
  ~SettingsWindow() override;

  // Shows the values in use and opens the window; an open window is only raised.
  void Open();
  // Shows the page (0 to 2).
  void ShowPage(int index);

 public Q_SLOTS:
  // Each returns false when the values could not be taken (a requester says why) or, for
  // Use and Save, a file could not be written (the window then stays open).
  bool Test();
  bool Use();
  bool Save();
  // "_Cancel" (also Escape and the close button).
  void reject() override;

 private:
  // The values of the pages on top of the record in use; false (and a requester) when one
  // cannot be taken.
  bool Collect(Settings& values);
  bool Write(ConfigAction action);
  void ApplyValues(const Settings& values);
  void StartMaintenance(thumbs::CacheAction action);

  const Settings& inUse_;
  Apply apply_;
  std::string configFile_;
  Settings lastUsed_;  // what "_Cancel" brings back
  QTabWidget* pages_ = nullptr;
  ThumbnailsPage* thumbnails_ = nullptr;
  SettingsPage* browser_ = nullptr;
  SettingsPage* general_ = nullptr;
  std::unique_ptr<thumbs::CacheMaintenanceRunner> maintenance_;
};

}  // namespace vl::settings::ui
