#include "main/ui/window_table.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>

#include "app/menu_tree.h"
#include "app/ui/main_window.h"
#include "app/ui/save_window.h"
#include "edit/geometry_ops.h"
#include "edit/tone_ops.h"
#include "edit/ui/resize_window.h"
#include "main/session.h"

namespace vl::main::ui {

WindowTable::WindowTable(Session& session, app::ui::MainWindow& window) : session_(session), window_(window) {
  app::Controller& c = session_.controller();
  // The items that act at once.
  window_.SetMenuAction(app::kMenuGrayscale, [&c] { edit::ApplyGrayscale(c); });
  window_.SetMenuAction(app::kMenuNegative, [&c] { edit::ApplyNegative(c); });
  window_.SetMenuAction(app::kMenuFlipHorizontal, [&c] { edit::ApplyFlipHorizontal(c); });
  window_.SetMenuAction(app::kMenuFlipVertical, [&c] { edit::ApplyFlipVertical(c); });
  window_.SetMenuAction(app::kMenuRotateClockwise, [&c] { edit::ApplyRotateClockwise(c); });
  window_.SetMenuAction(app::kMenuRotateCounterClockwise, [&c] { edit::ApplyRotateCounterClockwise(c); });

  resize_ = new edit::ui::ResizeWindow(
      c, [this] { return window_.hasPickedColor() ? window_.pickedColor() : 0xFF000000u; }, &window_);
  AddToolWindow(app::kMenuResize, resize_);

  save_ = new app::ui::SaveWindow(c, session_.settings(), &window_);
  window_.SetMenuAction(app::kMenuSaveImage, [this] { save_->Open(); });
  // The options windows take the menus away like a tool window.
  connect(save_, &app::ui::SaveWindow::optionsWindowOpen, &window_, &app::ui::MainWindow::SetToolWindowOpen);
}

WindowTable::~WindowTable() = default;

void WindowTable::AddToolWindow(int id, edit::ui::ToolWindow* tool) {
  window_.SetMenuAction(id, [tool] { tool->Open(); });
  connect(tool, &edit::ui::ToolWindow::opened, this, [this] { window_.SetToolWindowOpen(true); });
  connect(tool, &edit::ui::ToolWindow::closed, this, [this] { window_.SetToolWindowOpen(false); });
}

std::vector<std::string> WindowTable::WindowNames() {
  return {"main", "save", "jpeg-options", "png-options", "about", "resize", "style"};
}

QWidget* WindowTable::OpenByName(const std::string& name) {
  if (name == "main") return &window_;
  if (name == "resize") return resize_->Open() ? resize_ : nullptr;
  if (name == "save") return save_->Open() ? save_ : nullptr;
  if (name == "jpeg-options" || name == "png-options") {
    if (!save_->Open()) return nullptr;
    if (auto* formats = save_->findChild<QListWidget*>(QStringLiteral("formats")))
      formats->setCurrentRow(name == "jpeg-options" ? 0 : 1);
    QTimer::singleShot(0, save_, [this] { save_->Config(); });
    return save_;
  }
  if (name == "about" || name == "style") {
    // Modal windows: opened from the event loop; the caller finds them as the active modal
    // widget once they are up.
    QTimer::singleShot(0, &window_, [this, name] {
      window_.menuAction(name == "about" ? app::kMenuAbout : app::kMenuToolkitSettings)->trigger();
    });
    return &window_;
  }
  return nullptr;
}

bool WindowTable::Busy() const {
  return window_.toolWindowOpen() || QApplication::activeModalWidget() != nullptr;
}

}  // namespace vl::main::ui
