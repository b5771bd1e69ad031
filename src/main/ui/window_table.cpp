#include "main/ui/window_table.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <utility>

#include "app/menu_tree.h"
#include "app/ui/exif_window.h"
#include "app/ui/jpeg_transform_window.h"
#include "app/ui/main_window.h"
#include "app/ui/save_window.h"
#include "browser/ui/browser_widget.h"
#include "browser/ui/file_list_widget.h"
#include "browser/ui/thumb_grid_widget.h"
#include "edit/geometry_ops.h"
#include "edit/tone_ops.h"
#include "edit/ui/blender_window.h"
#include "edit/ui/contrast_gamma_window.h"
#include "edit/ui/crop_window.h"
#include "edit/ui/gaussian_blur_window.h"
#include "edit/ui/glow_window.h"
#include "edit/ui/hsv_balance_window.h"
#include "edit/ui/insert_alpha_window.h"
#include "edit/ui/insert_text_window.h"
#include "edit/ui/levels_window.h"
#include "edit/ui/median_window.h"
#include "edit/ui/noise_reduction_window.h"
#include "edit/ui/resize_window.h"
#include "edit/ui/rgb_balance_window.h"
#include "edit/ui/sharpen_window.h"
#include "edit/ui/smooth_window.h"
#include "edit/ui/straighten_window.h"
#include "main/session.h"
#include "settings/ui/settings_window.h"
#include "tools/ui/batch_convert_window.h"
#include "tools/ui/thumbnailer_window.h"

namespace vl::main::ui {

namespace {
// The browser's two views and the widgets that show them: the file list and the thumbnail
// grid.
browser::ui::BrowserViews BrowserViewsOf(Session& session) {
  browser::ui::BrowserViews views;
  views.list = &session.list();
  views.grid = &session.thumbs();
  views.makeList = [&session](browser::BrowserView&, QWidget* parent) {
    return new browser::ui::FileListWidget(session.list(), parent);
  };
  views.makeGrid = [&session](browser::BrowserView&, QWidget* parent) {
    return new browser::ui::ThumbGridWidget(session.thumbs(), parent);
  };
  views.useGrid = [&session](bool on) { session.UseThumbnails(on); };
  return views;
}
}  // namespace

WindowTable::WindowTable(Session& session, app::ui::MainWindow& window) : session_(session), window_(window) {
  app::Controller& c = session_.controller();
  AddBrowser();
  // The items that act at once.
  window_.SetMenuAction(app::kMenuGrayscale, [&c] { edit::ApplyGrayscale(c); });
  window_.SetMenuAction(app::kMenuNegative, [&c] { edit::ApplyNegative(c); });
  window_.SetMenuAction(app::kMenuFlipHorizontal, [&c] { edit::ApplyFlipHorizontal(c); });
  window_.SetMenuAction(app::kMenuFlipVertical, [&c] { edit::ApplyFlipVertical(c); });
  window_.SetMenuAction(app::kMenuRotateClockwise, [&c] { edit::ApplyRotateClockwise(c); });
  window_.SetMenuAction(app::kMenuRotateCounterClockwise, [&c] { edit::ApplyRotateCounterClockwise(c); });

  auto picked = [this] { return window_.hasPickedColor() ? window_.pickedColor() : 0xFF000000u; };
  app::ui::MainWindow* main = &window_;
  AddToolWindow(app::kMenuResize, "resize", [&c, main, picked] { return new edit::ui::ResizeWindow(c, picked, main); });
  // The crop window's rectangle is drawn on the display, which stays usable while it is open.
  AddToolWindow(
      app::kMenuCrop, "crop",
      [&c, main] {
        auto* w = new edit::ui::CropWindow(c, main->preview(), main);
        connect(w, &edit::ui::ToolWindow::closed, main, [main] { main->KeepDisplayForToolWindow(false); });
        return w;
      },
      [main](edit::ui::ToolWindow* w) {
        main->KeepDisplayForToolWindow(true);
        const bool open = w->Open();
        if (!open) main->KeepDisplayForToolWindow(false);
        return open;
      });
  AddToolWindow(app::kMenuStraighten, "straighten",
                [&c, main] { return new edit::ui::StraightenWindow(c, main->preview(), main); });
  AddToolWindow(app::kMenuContrastGamma, "contrast-gamma",
                [&c, main] { return new edit::ui::ContrastGammaWindow(c, main); });
  AddToolWindow(app::kMenuLevels, "levels", [&c, main] { return new edit::ui::LevelsWindow(c, main); });
  AddToolWindow(app::kMenuHSVBalance, "hsv-balance", [&c, main] { return new edit::ui::HSVBalanceWindow(c, main); });
  AddToolWindow(app::kMenuRGBBalance, "rgb-balance", [&c, main] { return new edit::ui::RGBBalanceWindow(c, main); });
  AddToolWindow(app::kMenuMedian, "median", [&c, main] { return new edit::ui::MedianWindow(c, main); });
  AddToolWindow(app::kMenuSmooth, "smooth", [&c, main] { return new edit::ui::SmoothWindow(c, main); });
  AddToolWindow(app::kMenuGaussianBlur, "gaussian-blur",
                [&c, main] { return new edit::ui::GaussianBlurWindow(c, main); });
  AddToolWindow(app::kMenuNoiseReduction, "noise-reduction",
                [&c, main] { return new edit::ui::NoiseReductionWindow(c, main); });
  AddToolWindow(app::kMenuSharpen, "sharpen", [&c, main] { return new edit::ui::SharpenWindow(c, main); });
  AddToolWindow(app::kMenuGlow, "glow", [&c, main] { return new edit::ui::GlowWindow(c, main); });
  AddToolWindow(app::kMenuInsertAlpha, "insert-alpha", [&c, main] { return new edit::ui::InsertAlphaWindow(c, main); });
  // The Blender opens only on a picture with transparency.
  AddToolWindow(
      app::kMenuBlender, "blender", [&c, main, picked] { return new edit::ui::BlenderWindow(c, picked, main); },
      [](edit::ui::ToolWindow* w) { return static_cast<edit::ui::BlenderWindow*>(w)->OpenOnTransparency(); });
  // The Insert Text window opens only with the text engine.
  AddToolWindow(
      app::kMenuInsertText, "insert-text",
      [&c, main, picked] { return new edit::ui::InsertTextWindow(c, picked, main); },
      [](edit::ui::ToolWindow* w) { return static_cast<edit::ui::InsertTextWindow*>(w)->OpenWithEngine(); });

  save_ = new app::ui::SaveWindow(c, session_.settings(), &window_);
  window_.SetMenuAction(app::kMenuSaveImage, [this] { save_->Open(); });
  // The options windows take the menus away like a tool window.
  connect(save_, &app::ui::SaveWindow::optionsWindowOpen, &window_, &app::ui::MainWindow::SetToolWindowOpen);

  // "Setup...": the settings window.
  window_.SetMenuAction(app::kMenuSetup, [this] { OpenSettings(); });
  // "EXIF Info" opens and closes the EXIF window; the user's closing of it takes the mark off.
  exif_ = new app::ui::ExifWindow(c.exif(), &window_);
  window_.SetMenuAction(app::kMenuExifInfo, [this, &c] {
    c.exif().exifInfoChecked = window_.menuAction(app::kMenuExifInfo)->isChecked();
    c.exif().exifInfoChecked ? c.exif().Open() : c.exif().Close();
  });
  connect(exif_, &app::ui::ExifWindow::closedByUser, this,
          [this] { window_.menuAction(app::kMenuExifInfo)->setChecked(false); });
  jpegTransform_ = new app::ui::JpegTransformWindow(c, &window_);
  window_.SetMenuAction(app::kMenuJpegTransform, [this] { jpegTransform_->Open(); });

  // The batch converter and the thumbnailer: windows of their own, made on first use.
  window_.SetMenuAction(app::kMenuBatchConvert, [this] { OpenByName("batch-convert"); });
  window_.SetMenuAction(app::kMenuThumbnailer, [this] { OpenByName("thumbnailer"); });
}

settings::ui::SettingsWindow* WindowTable::OpenSettings() {
  if (!settings_) {
    auto apply = [this](const settings::Settings& values) {
      session_.SetSettings(values);
      Q_EMIT settingsApplied();
    };
    settings_ = new settings::ui::SettingsWindow(session_.settings(), apply, session_.configFile(), &window_);
  }
  settings_->Open();
  return settings_;
}

WindowTable::~WindowTable() = default;

void WindowTable::AddToolWindow(int id, const char* name, std::function<edit::ui::ToolWindow*()> make,
                                std::function<bool(edit::ui::ToolWindow*)> open) {
  if (!open) open = [](edit::ui::ToolWindow* w) { return w->Open(); };
  tools_[id] = Tool{name, std::move(make), std::move(open), nullptr};
  toolOrder_.push_back(id);
  window_.SetMenuAction(id, [this, id] { OpenTool(id); });
}

edit::ui::ToolWindow* WindowTable::OpenTool(int id) {
  auto it = tools_.find(id);
  if (it == tools_.end()) return nullptr;
  Tool& tool = it->second;
  if (!tool.window) {
    tool.window = tool.make();
    connect(tool.window, &edit::ui::ToolWindow::opened, this, [this] { window_.SetToolWindowOpen(true); });
    connect(tool.window, &edit::ui::ToolWindow::closed, this, [this] { window_.SetToolWindowOpen(false); });
  }
  return tool.open(tool.window) ? tool.window : nullptr;
}

void WindowTable::AddBrowser() {
  auto* group = new browser::ui::BrowserWidget(session_.browser(), BrowserViewsOf(session_), &window_);
  window_.SetBrowserWidget(group);
  QAction* list = window_.menuAction(app::kMenuBrowserList);
  QAction* grid = window_.menuAction(app::kMenuBrowserThumbnails);
  // The radio items follow the view; each acts when it becomes the checked one.
  window_.SetMenuAction(app::kMenuBrowserList, [group, list] {
    if (list->isChecked()) group->SetThumbnails(false);
  });
  window_.SetMenuAction(app::kMenuBrowserThumbnails, [group, grid] {
    if (grid->isChecked()) group->SetThumbnails(true);
  });
  connect(group, &browser::ui::BrowserWidget::thumbnailsChanged, &window_,
          [list, grid](bool on) { (on ? grid : list)->setChecked(true); });
  group->SetThumbnails(grid->isChecked());
}

std::vector<std::string> WindowTable::WindowNames() const {
  std::vector<std::string> names = {"main", "save", "jpeg-options", "png-options", "about"};
  for (int id : toolOrder_) names.push_back(tools_.at(id).name);
  names.emplace_back("style");
  names.insert(names.end(), {"settings", "settings:2", "settings:3", "exif", "jpeg-transform"});
  names.insert(names.end(), {"batch-convert", "thumbnailer"});
  return names;
}

QWidget* WindowTable::OpenByName(const std::string& name) {
  if (name == "main") return &window_;
  for (const auto& [id, tool] : tools_)
    if (name == tool.name) return OpenTool(id);
  if (name == "save") return save_->Open() ? save_ : nullptr;
  if (name.rfind("settings", 0) == 0) {
    const int page = name == "settings:2" ? 1 : name == "settings:3" ? 2 : name == "settings" ? 0 : -1;
    if (page < 0) return nullptr;
    OpenSettings()->ShowPage(page);
    return settings_;
  }
  if (name == "batch-convert") {
    if (!batchConvert_) batchConvert_ = new tools::ui::BatchConvertWindow(&window_);
    batchConvert_->Open();
    return batchConvert_;
  }
  if (name == "thumbnailer") {
    if (!thumbnailer_) thumbnailer_ = new tools::ui::ThumbnailerWindow(&window_);
    thumbnailer_->Open();
    return thumbnailer_;
  }
  if (name == "jpeg-options" || name == "png-options") {
    if (!save_->Open()) return nullptr;
    if (auto* formats = save_->findChild<QListWidget*>(QStringLiteral("formats")))
      formats->setCurrentRow(name == "jpeg-options" ? 0 : 1);
    QTimer::singleShot(0, save_, [this] { save_->Config(); });
    return save_;
  }
  if (name == "exif") {
    window_.menuAction(app::kMenuExifInfo)->setChecked(true);
    if (!exif_->isVisible()) return nullptr;
    exif_->activateWindow();
    return exif_;
  }
  if (name == "jpeg-transform") return jpegTransform_->Open() ? jpegTransform_ : nullptr;
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
