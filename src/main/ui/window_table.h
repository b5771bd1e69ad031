// The program's windows beside the main window, and the menu actions that open them or run an
// operation: the one place that sees every window. Windows are made on first use.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace vl::app::ui {
class MainWindow;
class SaveWindow;
}  // namespace vl::app::ui
namespace vl::edit::ui {
class ResizeWindow;
class ToolWindow;
}  // namespace vl::edit::ui

namespace vl::main {
class Session;
}

namespace vl::main::ui {

class WindowTable : public QObject {
  Q_OBJECT

 public:
  WindowTable(Session& session, app::ui::MainWindow& window);
  ~WindowTable() override;

  // The names of the windows that can be opened by name (for screenshots and tests), in
  // menu order.
  static std::vector<std::string> WindowNames();
  // Opens a window by name; null when the name is unknown or the window cannot open (a tool
  // window without a picture).
  QWidget* OpenByName(const std::string& name);

  // Something keeps the program from changing the picture: a tool window or a modal
  // requester is open.
  bool Busy() const;

 private:
  // The tool window opens through the menu item id; its opening and closing disable and
  // enable the main window.
  void AddToolWindow(int id, edit::ui::ToolWindow* window);

  Session& session_;
  app::ui::MainWindow& window_;
  edit::ui::ResizeWindow* resize_ = nullptr;
  app::ui::SaveWindow* save_ = nullptr;
};

}  // namespace vl::main::ui
