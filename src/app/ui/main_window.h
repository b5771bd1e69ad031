// The main window: the browser's place and the display side by side with a splitter, the
// information panel and the colour picker below, and the menu strip built from the menu tree.
//
// The window carries out the menu items that need nothing beyond the controller (copy,
// paste, undo, the view switches, full screen, about, quit); the items that open windows or
// run operations get their actions from the program's window table (SetMenuAction). An item
// without an action stays disabled.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/controller.h"
#include "app/menu_tree.h"
#include "app/startup.h"
#include "app/status.h"
#include "app/window_state.h"
#include "display/picture_colour.h"
#include "image/chunky.h"
#include "settings/settings.h"

class QAction;
class QBoxLayout;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
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

  // The remembered window state: place, size, splitter, the display's options, the style.
  void ApplyWindowState(const WindowState& state);
  WindowState CurrentWindowState() const;

  // Puts the browser group in the browser's place beside the display (the window owns it).
  void SetBrowserWidget(QWidget* browser);
  QWidget* browserWidget() const { return browser_; }

  // The menu item of an identifier (the first one in the tree; null for none).
  QAction* menuAction(int id) const;
  // Gives a menu item its action and makes it available.
  void SetMenuAction(int id, std::function<void()> action);
  // A tool window opened or closed: while one is open, the menus and the window's contents
  // are disabled; the first close also lifts the 3D view's restriction.
  void SetToolWindowOpen(bool open);
  // For the tool window opened next: while it is open the display keeps taking the mouse
  // (the crop window's rectangle is drawn there); the rest of the contents is disabled.
  void KeepDisplayForToolWindow(bool keep) { displayKept_ = keep; }
  bool toolWindowOpen() const { return menuState_.toolWindowOpen; }

  // The colour picker's last colour (0xAARRGGBB) and whether there is one.
  bool hasPickedColor() const { return havePicked_; }
  quint32 pickedColor() const { return picked_; }

  // What the controller reports.
  void TitleChanged(const std::string& title) override;
  void StatusChanged(const StatusTexts& texts) override;
  void ImageChanged(const image::Texture* image) override;
  void OverlayChanged(const InfoList* info) override;
  void PictureOpened() override;

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
  QAction* fullScreenAction() const { return menuAction(kMenuFullScreen); }
  QAction* overlayAction() const { return menuAction(kMenuInformationOverlay); }
  QAction* colourAction() const { return menuAction(kMenuColourManagement); }

 public Q_SLOTS:
  void ShowAbout();
  void ToggleFullScreen();
  void ShowPickedColor(quint32 argb);
  // Menu "Copy": the picture to the clipboard unit and to the desktop's clipboard.
  void CopyPicture();
  // Menu "Paste": the desktop clipboard's picture when it holds one, else the clipboard unit's.
  void PastePicture();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void AddBuiltInActions();
  void UpdateMenuEnabling();
  QWidget* BuildPanel();
  void UpdatePickerText();
  void ClearPickedColor();
  void SetGroupShown(int id, QWidget* group, bool shown);
  void ChooseStyle();
  void FitPanelToWidth();

  StartupOptions options_;
  Controller& controller_;
  MenuState menuState_;
  std::map<int, QAction*> actions_;                // by identifier, the first of each
  std::map<int, std::function<void()>> handlers_;  // the items that are available
  QString style_;

  QSplitter* splitter_ = nullptr;
  QWidget* browser_ = nullptr;
  QWidget* panel_ = nullptr;
  bool displayKept_ = false;
  display::ui::PreviewClass* preview_ = nullptr;
  display::PictureColour colour_;
  const image::Texture* shown_ = nullptr;  // the texture the display shows, for colour changes
  QBoxLayout* panelLayout_ = nullptr;
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
  quint32 picked_ = 0;
  bool havePicked_ = false;
};

}  // namespace vl::app::ui
