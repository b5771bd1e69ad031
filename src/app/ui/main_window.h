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

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;

namespace vl::script {
class CommandPort;
class PortServer;
}  // namespace vl::script

namespace vl::display::ui {
class PreviewClass;
}

namespace vl::app::ui {

class MainWindow : public QMainWindow, public ControllerObserver {
  Q_OBJECT

 public:
  explicit MainWindow(const StartupOptions& opts, QWidget* parent = nullptr);
  ~MainWindow() override;

  const StartupOptions& options() const { return options_; }

  // Opens the window (on its own full screen with FULLSCREEN) and the first FILE.
  void Start();
  // Opens path through the controller; 0 when loaded, 1 when not.
  int OpenPicture(const std::string& path);
  Controller& controller() { return controller_; }

  // Opens the scripting port (the first free VISTALOOM.<n>, or socketPath when given) and
  // serves it on the GUI thread between events. False with the reason in error.
  bool StartPort(const std::string& socketPath, std::string* error);

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

 public slots:
  void ShowAbout();
  void ToggleFullScreen();
  void ShowPickedColor(quint32 argb);

 private:
  void BuildMenus();
  QWidget* BuildPanel();
  void UpdatePickerText();

  void ServePort();

  StartupOptions options_;
  Controller controller_;
  std::unique_ptr<script::CommandPort> commands_;
  std::unique_ptr<script::PortServer> server_;

  QSplitter* splitter_ = nullptr;
  QWidget* browser_ = nullptr;
  display::ui::PreviewClass* preview_ = nullptr;
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
