// The main window: the display beside the browser's place with a splitter between them,
// the information panel and the colour picker below, and the menu strip.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "app/controller.h"
#include "app/startup.h"
#include "app/status.h"
#include "image/chunky.h"
#include "settings/settings.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;
class QSplitter;

namespace vl::display::ui {
class PreviewClass;
}

namespace vl::app::ui {

class MainWindow : public QMainWindow, public ControllerObserver {
  Q_OBJECT

 public:
  // The window shows the controller's picture and texts; the controller outlives it.
  MainWindow(Controller& controller, const StartupOptions& opts, QWidget* parent = nullptr);
  ~MainWindow() override;

  const StartupOptions& options() const { return options_; }

  // Opens the window (on its own full screen with FULLSCREEN) and the first FILE.
  void Start();
  // Opens path through the controller; 0 when loaded, 1 when not.
  int OpenPicture(const std::string& path);
  Controller& controller() { return controller_; }

  // Takes the settings that the window shows: the display's background colour and whether
  // the information panel ("Details") and the colour picker are shown.
  void ApplySettings(const settings::Settings& prefs);

  // What the controller reports.
  void TitleChanged(const std::string& title) override;
  void StatusChanged(const StatusTexts& texts) override;
  void ImageChanged(const image::Texture* image) override;
  void OverlayChanged(const InfoList* info) override;

  display::ui::PreviewClass* preview() const { return preview_; }
  const image::Texture* currentImage() const { return controller_.currentImage(); }

  // The panel's texts, for the tests.
  QString widthText() const;
  QString heightText() const;
  QString formatText() const;
  QString loadTimeText() const;
  QString zoomText() const;
  QString pickedColorText() const;
  QComboBox* pickerFormat() const { return pickerFormat_; }
  QPushButton* copyButton() const { return copy_; }
  QAction* fullScreenAction() const { return fullScreen_; }
  QAction* overlayAction() const { return overlay_; }

 public Q_SLOTS:
  void ShowAbout();
  void ToggleFullScreen();
  void ShowPickedColor(quint32 argb);

 private:
  void BuildMenus();
  QWidget* BuildPanel();
  void UpdatePickerText();

  StartupOptions options_;
  Controller& controller_;

  QSplitter* splitter_ = nullptr;
  QWidget* browser_ = nullptr;
  display::ui::PreviewClass* preview_ = nullptr;
  QGroupBox* details_ = nullptr;
  QGroupBox* picker_ = nullptr;
  QLabel* width_ = nullptr;
  QLabel* height_ = nullptr;
  QLabel* loadTimeLabel_ = nullptr;
  QLabel* zoom_ = nullptr;
  QLabel* format_ = nullptr;
  QPushButton* pick_ = nullptr;
  QFrame* pen_ = nullptr;
  QLineEdit* colorText_ = nullptr;
  QComboBox* pickerFormat_ = nullptr;
  QPushButton* copy_ = nullptr;
  QAction* fullScreen_ = nullptr;
  QAction* overlay_ = nullptr;
  quint32 picked_ = 0;
  bool havePicked_ = false;
};

}  // namespace vl::app::ui
