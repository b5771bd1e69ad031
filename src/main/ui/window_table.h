// The program's windows beside the main window, and the menu actions that open them or run an
// operation: the one place that sees every window. Windows are made on first use.
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace vl::app::ui {
class ExifWindow;
class JpegTransformWindow;
class MainWindow;
class SaveWindow;
}  // namespace vl::app::ui
namespace vl::edit::ui {
class ToolWindow;
}  // namespace vl::edit::ui

namespace vl::main {
class Session;
}
namespace vl::settings::ui {
class SettingsWindow;
}
namespace vl::tools::ui {
class BatchConvertWindow;
class ThumbnailerWindow;
}  // namespace vl::tools::ui

namespace vl::main::ui {

class WindowTable : public QObject {
  Q_OBJECT

 public:
  WindowTable(Session& session, app::ui::MainWindow& window);
  ~WindowTable() override;

  // The names of the windows that can be opened by name (for screenshots and tests).
  std::vector<std::string> WindowNames() const;
  // Opens a window by name; null when the name is unknown or the window cannot open (a tool
  // window without a picture).
  QWidget* OpenByName(const std::string& name);

  // Something keeps the program from changing the picture: a tool window or a modal
  // requester is open.
  bool Busy() const;

 Q_SIGNALS:
  // The settings window handed new values to the session (Session::SetSettings): the main
  // window and the browser take them from there.
  void settingsApplied();

 private:
  // A tool window, made on first use by make and then kept (with its values) for the run;
  // open opens it (ToolWindow::Open unless the window has a condition of its own).
  struct Tool {
    std::string name;
    std::function<edit::ui::ToolWindow*()> make;
    std::function<bool(edit::ui::ToolWindow*)> open;
    edit::ui::ToolWindow* window = nullptr;
  };

  // The browser group in the main window, with View > Browser > "List" and "Thumbnails".
  void AddBrowser();
  // The tool window opens through the menu item id; its opening and closing disable and
  // enable the main window.
  void AddToolWindow(int id, const char* name, std::function<edit::ui::ToolWindow*()> make,
                     std::function<bool(edit::ui::ToolWindow*)> open = {});
  // Opens the tool window of the menu item id; the window when it is open afterwards.
  edit::ui::ToolWindow* OpenTool(int id);

  Session& session_;
  app::ui::MainWindow& window_;
  std::map<int, Tool> tools_;
  std::vector<int> toolOrder_;  // the ids in the order they were added
  app::ui::SaveWindow* save_ = nullptr;
  settings::ui::SettingsWindow* settings_ = nullptr;  // made on first use
  settings::ui::SettingsWindow* OpenSettings();
  app::ui::ExifWindow* exif_ = nullptr;
  app::ui::JpegTransformWindow* jpegTransform_ = nullptr;
  tools::ui::BatchConvertWindow* batchConvert_ = nullptr;
  tools::ui::ThumbnailerWindow* thumbnailer_ = nullptr;
};

}  // namespace vl::main::ui
