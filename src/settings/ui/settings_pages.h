// The pages of the settings window. A page lays out the fields of its FormPage in their
// groups (a spin box with its unit, a check box, the compression cycle, a colour as text
// with a button for the colour requester); the "Thumbnails" page adds the cache path, the
// cache maintenance and the disabled volumes to its "Cache" group.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/settings_form.h"
#include "thumbs/maintenance.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace vl::settings::ui {

class SettingsPage : public QWidget {
  Q_OBJECT

 public:
  SettingsPage(FormPage page, QWidget* parent = nullptr);

  // Shows the values of the record.
  virtual void Show(const Settings& values);
  // Takes the widgets' values into the record; false, with the reason in message, when a
  // value typed cannot be taken (a colour that is not one).
  virtual bool Take(Settings& values, std::string& message) const;

 protected:
  // The layout of the group box that holds the fields of a group (the page's column).
  QVBoxLayout* GroupLayout(const char* group) const;

 private:
  struct Field {
    const FormField* field;
    QWidget* widget;
  };
  void AddField(const FormField& field);

  QVBoxLayout* column_ = nullptr;
  std::vector<std::pair<std::string, QVBoxLayout*>> groups_;
  std::vector<Field> fields_;
};

class ThumbnailsPage : public SettingsPage {
  Q_OBJECT

 public:
  explicit ThumbnailsPage(QWidget* parent = nullptr);

  void Show(const Settings& values) override;
  bool Take(Settings& values, std::string& message) const override;

  // The cache path as typed.
  std::string TypedCachePath() const;
  // A maintenance job runs (its buttons wait) or finished with its result.
  void SetMaintenanceRunning(bool running);
  void ShowMaintenanceResult(const thumbs::CacheActionResult& result);

 Q_SIGNALS:
  void maintenanceRequested(vl::thumbs::CacheAction action);

 protected:
  // Enter in the volume name adds the name; it does not reach the window's default button.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ChooseCachePath();
  void AddVolume();
  void RemoveVolume();

  QLineEdit* cachePath_ = nullptr;
  QLabel* cacheSize_ = nullptr;
  QLabel* maintenanceMessage_ = nullptr;
  std::vector<QPushButton*> maintenanceButtons_;
  QListWidget* volumes_ = nullptr;
  QLineEdit* volumeName_ = nullptr;
};

}  // namespace vl::settings::ui
