#include "app/ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "app/color_picker.h"
#include "app/ui/style_window.h"
#include "display/ui/preview.h"
#include "formats/clipboard.h"
#include "formats/file_type.h"
#include "platform/paths.h"
#include "platform/requester.h"
#include "platform/version.h"

namespace vl::app::ui {

namespace {
// The browser's width in a window that has no remembered state.
constexpr int kBrowserWidth = 400;  // three cells of the default thumbnail box beside the scroll bar

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The Ctrl + key shortcut of a menu key.
QKeySequence MenuKey(char key) {
  return QKeySequence(QStringLiteral("Ctrl+") + QChar::fromLatin1(key));
}

// The picture on the desktop's clipboard as a texture, or null when it holds none (or one
// past the size limit).
image::TexturePtr DesktopClipboardPicture() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasImage()) return nullptr;
  QImage picture = qvariant_cast<QImage>(data->imageData());
  if (picture.isNull() || !image::SizeAllowed(picture.width(), picture.height(), image::ARGB32)) return nullptr;
  picture.convertTo(QImage::Format_ARGB32);
  image::TexturePtr t(image::CreateTexture(picture.width(), picture.height(), image::ARGB32));
  if (!t) return nullptr;
  image::ConvertWordsToARGB32(picture.constBits(), static_cast<size_t>(picture.bytesPerLine()), t->chunky->pixels,
                              picture.width(), picture.height());
  t->name = "Clipboard";
  t->formatName = "Clipboard";
  return t;
}
}  // namespace

MainWindow::MainWindow(Controller& controller, const StartupOptions& opts, QWidget* parent)
    : QMainWindow(parent), options_(opts), controller_(controller) {
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setObjectName(QStringLiteral("mainWindow"));
  setAcceptDrops(true);
  menuState_.view3D = opts.view3D;

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);

  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setObjectName(QStringLiteral("splitter"));
  auto* placeholder = new QLabel(tr("Browser"), splitter_);
  placeholder->setObjectName(QStringLiteral("browser"));
  placeholder->setAlignment(Qt::AlignCenter);
  placeholder->setFrameShape(QFrame::StyledPanel);
  placeholder->setMinimumWidth(120);
  browser_ = placeholder;
  preview_ = new display::ui::PreviewClass(splitter_);
  preview_->setObjectName(QStringLiteral("display"));
  preview_->setMinimumSize(160, 120);
  splitter_->addWidget(browser_);
  splitter_->addWidget(preview_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kBrowserWidth, 960 - kBrowserWidth});
  browser_->setVisible(options_.browser);
  layout->addWidget(splitter_, 1);
  panel_ = BuildPanel();
  layout->addWidget(panel_, 0);
  setCentralWidget(central);

  connect(preview_, &display::ui::PreviewClass::scaleChanged, this,
          [this](int fixed) { zoom_->setText(Q(FormatZoomText(fixed))); });
  connect(preview_, &display::ui::PreviewClass::colorPicked, this, &MainWindow::ShowPickedColor);
  connect(preview_, &display::ui::PreviewClass::fullScreenRequested, this, &MainWindow::ToggleFullScreen);
  zoom_->setText(Q(FormatZoomText(preview_->ScaleFixed())));

  BuildMenus();
  AddBuiltInActions();
  controller_.SetObserver(this);
  StatusChanged(MakeStatusTexts(nullptr, std::string(), false, 0.0f));
  resize(960, 660);
  FitPanelToWidth();
  preview_->setFocus();
}

void MainWindow::SetBrowserWidget(QWidget* browser) {
  if (!browser || browser == browser_) return;
  // Before the window is shown the splitter has no sizes of its own yet.
  QList<int> sizes = splitter_->sizes();
  if (!isVisible() || sizes.size() != 2) sizes = {kBrowserWidth, 960 - kBrowserWidth};
  const bool shown = menuAction(kMenuBrowserVisible)->isChecked();
  QWidget* old = splitter_->replaceWidget(splitter_->indexOf(browser_), browser);
  delete old;
  browser_ = browser;
  browser_->setVisible(shown);
  browser_->setEnabled(!(menuState_.toolWindowOpen && displayKept_));
  splitter_->setStretchFactor(0, 0);
  splitter_->setSizes(sizes);
}

MainWindow::~MainWindow() {
  // The display lets go of the picture before the controller frees it.
  controller_.SetObserver(nullptr);
  preview_->SetImage(nullptr);
}

QWidget* MainWindow::BuildPanel() {
  auto* panel = new QWidget(this);
  panelLayout_ = new QBoxLayout(QBoxLayout::LeftToRight, panel);
  panelLayout_->setContentsMargins(0, 0, 0, 0);

  auto* info = new QGroupBox(panel);
  details_ = info;
  info->setObjectName(QStringLiteral("details"));
  auto* grid = new QGridLayout(info);
  auto addRow = [&](int r, int c, const char* label) {
    grid->addWidget(new QLabel(QString::fromUtf8(label), info), r, c * 2);
    auto* value = new QLabel(info);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(48);
    grid->addWidget(value, r, c * 2 + 1);
    return value;
  };
  width_ = addRow(0, 0, "Width:");
  height_ = addRow(1, 0, "Height:");
  loadTimeLabel_ = addRow(0, 1, "Loaded in:");
  zoom_ = addRow(1, 1, "Zoom:");
  format_ = addRow(0, 2, "Format:");
  panelLayout_->addWidget(info, 1);

  auto* picker = new QGroupBox(panel);
  picker_ = picker;
  picker->setObjectName(QStringLiteral("colorPicker"));
  auto* pl = new QHBoxLayout(picker);
  pick_ = new QPushButton(tr("Pick"), picker);
  pick_->setObjectName(QStringLiteral("pick"));
  pick_->setCheckable(true);
  pick_->setChecked(true);
  pick_->setToolTip(tr("While pressed, the picker follows the pointer over the picture"));
  pen_ = new QFrame(picker);
  pen_->setObjectName(QStringLiteral("pen"));
  pen_->setAccessibleName(QStringLiteral("Selected color"));
  pen_->setToolTip(QStringLiteral("Selected color"));
  pen_->setFrameShape(QFrame::Box);
  pen_->setFixedSize(24, 24);
  pen_->setAutoFillBackground(true);
  colorText_ = new QLineEdit(picker);
  colorText_->setObjectName(QStringLiteral("pickedColor"));
  colorText_->setReadOnly(true);
  colorText_->setMinimumWidth(QFontMetrics(colorText_->font()).horizontalAdvance(QStringLiteral("000,000,000,000")) +
                              16);
  pickerFormat_ = new QComboBox(picker);
  pickerFormat_->setObjectName(QStringLiteral("pickerFormat"));
  pickerFormat_->addItem(QStringLiteral("R,G,B,A"), kPickerDecimal);
  pickerFormat_->addItem(QStringLiteral("0xRRGGBBAA"), kPickerHex);
  pickerFormat_->addItem(QStringLiteral("#RRGGBB"), kPickerHtml);
  copy_ = new QPushButton(tr("Copy"), picker);
  copy_->setObjectName(QStringLiteral("copyColor"));
  copy_->setToolTip(tr("Put the colour's text on the clipboard"));
  pl->addWidget(pick_);
  pl->addWidget(pen_);
  pl->addWidget(colorText_);
  pl->addWidget(pickerFormat_);
  pl->addWidget(copy_);
  panelLayout_->addWidget(picker, 0);
  // The window may become as narrow as the wider group: below the width both need side by
  // side, the picker goes under the details (FitPanelToWidth).
  panel->setMinimumWidth(std::max(info->minimumSizeHint().width(), picker->minimumSizeHint().width()));

  connect(pickerFormat_, &QComboBox::currentIndexChanged, this, [this] { UpdatePickerText(); });
  connect(copy_, &QPushButton::clicked, this, [this] {
    const std::string text = colorText_->text().toStdString();
    if (text.empty()) return;
    formats::ClipboardWriteText(text.c_str());
    QGuiApplication::clipboard()->setText(colorText_->text());  // and the desktop's
  });
  return panel;
}

void MainWindow::BuildMenus() {
  QMenu* title = nullptr;
  QMenu* submenu = nullptr;
  std::map<int, QActionGroup*> radios;
  for (size_t i = 0; i < kMenuTree.size(); ++i) {
    const MenuEntry& e = kMenuTree[i];
    if (e.kind == MenuKind::kTitle) {
      title = menuBar()->addMenu(QString::fromUtf8(e.label));
      title->menuAction()->setObjectName(QStringLiteral("menu%1").arg(e.id));
      submenu = nullptr;
      continue;
    }
    QMenu* into = e.kind == MenuKind::kSubItem && submenu ? submenu : title;
    if (!e.label) {
      into->addSeparator();
      continue;
    }
    // An item followed by sub-items opens a submenu.
    const bool opensSubmenu =
        e.kind == MenuKind::kItem && i + 1 < kMenuTree.size() && kMenuTree[i + 1].kind == MenuKind::kSubItem;
    if (opensSubmenu) {
      submenu = title->addMenu(QString::fromUtf8(e.label));
      submenu->menuAction()->setData(e.id);
      continue;
    }
    if (e.kind == MenuKind::kItem) submenu = nullptr;
    QAction* a = into->addAction(QString::fromUtf8(e.label));
    a->setData(e.id);
    a->setObjectName(QStringLiteral("action%1").arg(e.id));
    if (MenuKeyReaches(i)) {
      a->setShortcut(MenuKey(e.key));
    } else if (e.key) {
      // The key reaches the first item that carries it; this one shows it without taking it.
      a->setText(a->text() + QStringLiteral("\tCtrl+") + QChar::fromLatin1(e.key));
    }
    if (e.flags & (kMenuCheck | kMenuRadio)) a->setCheckable(true);
    if (e.flags & kMenuChecked) a->setChecked(true);
    if (e.flags & kMenuRadio) {
      QActionGroup*& group = radios[into == submenu ? 1 : 0];
      if (!group) group = new QActionGroup(this);
      group->addAction(a);
    }
    if (!actions_.count(e.id)) actions_[e.id] = a;
    // A check item acts on every change of its mark, also one made by the program.
    auto run = [this, id = e.id] {
      auto it = handlers_.find(id);
      if (it != handlers_.end()) it->second();
    };
    if (a->isCheckable())
      connect(a, &QAction::toggled, this, run);
    else
      connect(a, &QAction::triggered, this, run);
  }
}

void MainWindow::AddBuiltInActions() {
  SetMenuAction(kMenuIconify, [this] { showMinimized(); });
  SetMenuAction(kMenuAbout, [this] { ShowAbout(); });
  SetMenuAction(kMenuAboutToolkit, [this] { QMessageBox::aboutQt(this, QStringLiteral("About MUI...")); });
  SetMenuAction(kMenuQuit, [this] { close(); });
  SetMenuAction(kMenuCopy, [this] { CopyPicture(); });
  SetMenuAction(kMenuPaste, [this] { PastePicture(); });
  SetMenuAction(kMenuUndo, [this] { controller_.ToggleUndo(); });
  SetMenuAction(kMenuBrowserVisible, [this] { browser_->setVisible(menuAction(kMenuBrowserVisible)->isChecked()); });
  SetMenuAction(kMenuDetails, [this] { details_->setVisible(menuAction(kMenuDetails)->isChecked()); });
  SetMenuAction(kMenuColorPicker, [this] { picker_->setVisible(menuAction(kMenuColorPicker)->isChecked()); });
  SetMenuAction(kMenuFullScreen, [this] {
    if (menuAction(kMenuFullScreen)->isChecked() != isFullScreen()) ToggleFullScreen();
  });
  SetMenuAction(kMenuInformationOverlay,
                [this] { controller_.SetInfoOverlay(menuAction(kMenuInformationOverlay)->isChecked()); });
  SetMenuAction(kMenuColourManagement, [this] {
    colour_.SetEnabled(menuAction(kMenuColourManagement)->isChecked());
    preview_->SetColourTransform(colour_.Choose(shown_));
  });
  SetMenuAction(kMenuToolkitSettings, [this] { ChooseStyle(); });
  menuAction(kMenuBrowserVisible)->setChecked(options_.browser);
  menuAction(kMenuDetails)->setChecked(true);
  menuAction(kMenuColorPicker)->setChecked(true);
  UpdateMenuEnabling();
}

QAction* MainWindow::menuAction(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::SetMenuAction(int id, std::function<void()> action) {
  handlers_[id] = std::move(action);
  UpdateMenuEnabling();
}

void MainWindow::UpdateMenuEnabling() {
  for (QAction* title : menuBar()->actions()) {
    title->setEnabled(!menuState_.toolWindowOpen);
    QMenu* menu = title->menu();
    if (!menu) continue;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      if (a->menu()) {
        a->setEnabled(!menuState_.toolWindowOpen);
        for (QAction* sub : a->menu()->actions()) {
          if (sub->isSeparator()) continue;
          const int id = sub->data().toInt();
          sub->setEnabled(MenuItemEnabled(id, handlers_.count(id) > 0, menuState_));
        }
        continue;
      }
      const int id = a->data().toInt();
      a->setEnabled(MenuItemEnabled(id, handlers_.count(id) > 0, menuState_));
    }
  }
}

void MainWindow::SetToolWindowOpen(bool open) {
  if (!open && menuState_.toolWindowOpen) menuState_.view3DReleased = true;
  menuState_.toolWindowOpen = open;
  const bool keep = open && displayKept_;
  centralWidget()->setEnabled(!open || keep);
  browser_->setEnabled(!keep);
  panel_->setEnabled(!keep);
  UpdateMenuEnabling();
}

void MainWindow::SetGroupShown(int id, QWidget* group, bool shown) {
  group->setVisible(shown);
  if (QAction* a = menuAction(id)) a->setChecked(shown);
}

void MainWindow::ApplySettings(const settings::Settings& prefs) {
  preview_->SetBackground(prefs.backgroundColor);
  SetGroupShown(kMenuDetails, details_, prefs.showDetails);
  SetGroupShown(kMenuColorPicker, picker_, prefs.showColorPicker);
}

void MainWindow::ApplyWindowState(const WindowState& s) {
  if (s.hasGeometry) setGeometry(s.x, s.y, s.width, s.height);
  if (s.maximized) setWindowState(windowState() | Qt::WindowMaximized);
  if (s.browserWidth >= 0) {
    const int total = splitter_->width() > 0 ? splitter_->width() : width();
    splitter_->setSizes({s.browserWidth, std::max(1, total - s.browserWidth)});
  }
  preview_->ApplyOptions(s.display);
  preview_->SetContents(s.contents);
  if (!s.style.empty()) {
    const QString name = QString::fromStdString(s.style);
    if (QApplication::setStyle(name)) style_ = name;
  }
}

WindowState MainWindow::CurrentWindowState() const {
  WindowState s;
  const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
  s.hasGeometry = g.width() > 0 && g.height() > 0;
  s.x = g.x(), s.y = g.y(), s.width = g.width(), s.height = g.height();
  s.maximized = isMaximized();
  if (browser_->isVisible() && !splitter_->sizes().isEmpty()) s.browserWidth = splitter_->sizes().first();
  s.display = preview_->Options();
  s.contents = preview_->Contents();
  s.style = style_.toStdString();
  return s;
}

void MainWindow::ChooseStyle() {
  StyleWindow window(style_, this);
  if (window.exec() != QDialog::Accepted) return;
  if (QApplication::setStyle(window.chosen())) style_ = window.chosen();
}

void MainWindow::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About..."));
  box.setTextFormat(Qt::RichText);
  box.setText(
      QStringLiteral("<p align=\"center\"><b>%1</b></p><p align=\"center\">%2</p>")
          .arg(QString::fromUtf8(kVersionLine).toHtmlEscaped(), QString::fromUtf8(kDescription).toHtmlEscaped()));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.show();
  box.activateWindow();
  box.exec();
}

void MainWindow::ToggleFullScreen() {
  if (isFullScreen())
    showNormal();
  else
    showFullScreen();
  fullScreenAction()->setChecked(isFullScreen());
}

void MainWindow::CopyPicture() {
  const image::Texture* t = controller_.currentImage();
  if (!t || !t->chunky || t->chunky->format != image::ARGB32) return;
  if (controller_.CopyPicture() != 0)
    platform::CurrentRequester().Error("The picture could not be written to the clipboard (" +
                                       platform::ResolvePath("CLIPS:0") + ").\n");
  const image::ChunkyImage* c = t->chunky;
  QImage picture(c->width, c->height, QImage::Format_ARGB32);
  if (picture.isNull()) return;  // no memory for the desktop's copy; the clipboard unit has it
  image::ConvertARGB32ToWords(c->pixels, picture.bits(), c->width, c->height,
                              static_cast<size_t>(picture.bytesPerLine()));
  QGuiApplication::clipboard()->setImage(picture);
}

void MainWindow::PastePicture() {
  if (image::TexturePtr desktop = DesktopClipboardPicture()) {
    controller_.PastePicture(std::move(desktop));
    return;
  }
  const std::string unit = platform::ResolvePath("CLIPS:0");
  if (!formats::IsPictureFile(unit.c_str())) {
    platform::CurrentRequester().Error("The clipboard holds no picture.\n");
    return;
  }
  controller_.PastePicture();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const std::string path = url.toLocalFile().toStdString();
    event->acceptProposedAction();
    if (!formats::IsPictureFile(path.c_str())) {
      platform::CurrentRequester().Error(path + "\nis not a picture Vistaloom can read.\n");
      return;
    }
    OpenPicture(path);
    return;
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitPanelToWidth();
}

void MainWindow::FitPanelToWidth() {
  // Side by side while both groups fit, else the picker goes under the details.
  const QMargins m = centralWidget()->layout()->contentsMargins();
  const int needed = details_->minimumSizeHint().width() + picker_->minimumSizeHint().width() +
                     panelLayout_->spacing() + m.left() + m.right();
  panelLayout_->setDirection(width() >= needed ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

void MainWindow::ShowPickedColor(quint32 argb) {
  if (!pick_->isChecked()) return;
  picked_ = argb;
  havePicked_ = true;
  QPalette pal = pen_->palette();
  pal.setColor(QPalette::Window, QColor(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                                        static_cast<int>(argb & 0xFF)));
  pen_->setPalette(pal);
  UpdatePickerText();
}

void MainWindow::ClearPickedColor() {
  havePicked_ = false;
  picked_ = 0;
  pen_->setPalette(QPalette());
  colorText_->clear();
}

void MainWindow::UpdatePickerText() {
  if (!havePicked_) return;
  colorText_->setText(Q(FormatPickedColor(picked_, pickerFormat_->currentData().toInt())));
}

void MainWindow::Start() {
  if (options_.fullScreen) {
    showFullScreen();
    fullScreenAction()->setChecked(true);
  } else {
    show();
  }
  activateWindow();
  if (options_.hasInitialFile)
    OpenPicture(options_.initialFile);
  else if (browser_->isVisible())
    browser_->setFocus();  // the keyboard acts on the browser's list at once
}

int MainWindow::OpenPicture(const std::string& path) {
  return controller_.OpenPicture(path.c_str());
}

void MainWindow::TitleChanged(const std::string& title) {
  setWindowTitle(Q(title));
}

void MainWindow::StatusChanged(const StatusTexts& t) {
  width_->setText(Q(t.width));
  height_->setText(Q(t.height));
  format_->setText(Q(t.format));
  loadTimeLabel_->setText(Q(t.loadTime));
}

void MainWindow::ImageChanged(const image::Texture* image) {
  const image::ChunkyImage* c = image ? image->chunky : nullptr;
  const bool shown = c && c->format == image::ARGB32;
  shown_ = shown ? image : nullptr;
  preview_->SetImage(shown ? c : nullptr, colour_.Choose(shown_));
}

void MainWindow::OverlayChanged(const InfoList* info) {
  preview_->SetInfoList(info ? *info : InfoList{});
}

void MainWindow::PictureOpened() {
  preview_->ResetView();
  preview_->ClearSelection();
  ClearPickedColor();
}

QString MainWindow::widthText() const {
  return width_->text();
}
QString MainWindow::heightText() const {
  return height_->text();
}
QString MainWindow::formatText() const {
  return format_->text();
}
QString MainWindow::loadTimeText() const {
  return loadTimeLabel_->text();
}
QString MainWindow::zoomText() const {
  return zoom_->text();
}
QString MainWindow::pickedColorText() const {
  return colorText_->text();
}

}  // namespace vl::app::ui
