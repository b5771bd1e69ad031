#include "app/ui/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "app/color_picker.h"
#include "display/ui/preview.h"
#include "formats/clipboard.h"
#include "platform/version.h"

namespace vl::app::ui {

namespace {
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

MainWindow::MainWindow(Controller& controller, const StartupOptions& opts, QWidget* parent)
    : QMainWindow(parent), options_(opts), controller_(controller) {
  setWindowTitle(QString::fromUtf8(kAppTitle));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);

  splitter_ = new QSplitter(Qt::Horizontal, central);
  auto* placeholder = new QLabel(tr("Browser"), splitter_);
  placeholder->setAlignment(Qt::AlignCenter);
  placeholder->setFrameShape(QFrame::StyledPanel);
  placeholder->setMinimumWidth(120);
  browser_ = placeholder;
  preview_ = new display::ui::PreviewClass(splitter_);
  splitter_->addWidget(browser_);
  splitter_->addWidget(preview_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({200, 600});
  browser_->setVisible(options_.browser);
  layout->addWidget(splitter_, 1);
  layout->addWidget(BuildPanel(), 0);
  setCentralWidget(central);

  connect(preview_, &display::ui::PreviewClass::scaleChanged, this,
          [this](int fixed) { zoom_->setText(Q(FormatZoomText(fixed))); });
  connect(preview_, &display::ui::PreviewClass::colorPicked, this, &MainWindow::ShowPickedColor);
  connect(preview_, &display::ui::PreviewClass::fullScreenRequested, this, &MainWindow::ToggleFullScreen);
  zoom_->setText(Q(FormatZoomText(preview_->ScaleFixed())));

  BuildMenus();
  controller_.SetObserver(this);
  StatusChanged(MakeStatusTexts(nullptr, std::string(), false, 0.0f));
  resize(800, 600);
  preview_->setFocus();
}

MainWindow::~MainWindow() {
  // The display lets go of the picture before the controller frees it.
  controller_.SetObserver(nullptr);
  preview_->SetImage(nullptr);
}

QWidget* MainWindow::BuildPanel() {
  auto* panel = new QWidget(this);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);

  auto* info = new QGroupBox(panel);
  details_ = info;
  info->setObjectName(QStringLiteral("details"));
  auto* grid = new QGridLayout(info);
  auto addRow = [&](int r, int c, const char* label) {
    grid->addWidget(new QLabel(QString::fromUtf8(label), info), r, c * 2);
    auto* value = new QLabel(info);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(70);
    grid->addWidget(value, r, c * 2 + 1);
    return value;
  };
  width_ = addRow(0, 0, "Width:");
  height_ = addRow(1, 0, "Height:");
  loadTimeLabel_ = addRow(0, 1, "Loaded in:");
  zoom_ = addRow(1, 1, "Zoom:");
  format_ = addRow(0, 2, "Format:");
  row->addWidget(info, 1);

  auto* picker = new QGroupBox(panel);
  picker_ = picker;
  picker->setObjectName(QStringLiteral("colorPicker"));
  auto* pl = new QHBoxLayout(picker);
  pick_ = new QPushButton(tr("Pick"), picker);
  pick_->setCheckable(true);
  pick_->setChecked(true);
  pick_->setToolTip(tr("While pressed, the picker follows the pointer over the picture"));
  pen_ = new QFrame(picker);
  pen_->setAccessibleName(QStringLiteral("Selected color"));
  pen_->setToolTip(QStringLiteral("Selected color"));
  pen_->setFrameShape(QFrame::Box);
  pen_->setFixedSize(24, 24);
  pen_->setAutoFillBackground(true);
  colorText_ = new QLineEdit(picker);
  colorText_->setReadOnly(true);
  colorText_->setMinimumWidth(QFontMetrics(colorText_->font()).horizontalAdvance(QStringLiteral("000,000,000,000")) +
                              16);
  pickerFormat_ = new QComboBox(picker);
  pickerFormat_->addItem(QStringLiteral("R,G,B,A"), kPickerDecimal);
  pickerFormat_->addItem(QStringLiteral("0xRRGGBBAA"), kPickerHex);
  pickerFormat_->addItem(QStringLiteral("#RRGGBB"), kPickerHtml);
  copy_ = new QPushButton(tr("Copy"), picker);
  copy_->setToolTip(tr("Put the colour's text on the clipboard"));
  pl->addWidget(pick_);
  pl->addWidget(pen_);
  pl->addWidget(colorText_);
  pl->addWidget(pickerFormat_);
  pl->addWidget(copy_);
  row->addWidget(picker, 0);

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
  QMenu* project = menuBar()->addMenu(QStringLiteral("Project"));
  QAction* about = project->addAction(QStringLiteral("About..."));
  about->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
  connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
  project->addSeparator();
  QAction* quit = project->addAction(QStringLiteral("Quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(QStringLiteral("View"));
  fullScreen_ = view->addAction(QStringLiteral("Full screen"));
  fullScreen_->setCheckable(true);
  fullScreen_->setShortcut(QKeySequence(Qt::Key_F11));
  connect(fullScreen_, &QAction::triggered, this, [this](bool on) {
    if (on != isFullScreen()) ToggleFullScreen();
  });
  overlay_ = view->addAction(QStringLiteral("Information overlay"));
  overlay_->setCheckable(true);
  overlay_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(overlay_, &QAction::toggled, this, [this](bool on) { controller_.SetInfoOverlay(on); });
}

void MainWindow::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About..."));
  box.setTextFormat(Qt::RichText);
  box.setText(
      QStringLiteral("<p align=\"center\"><b>%1</b></p><p align=\"center\">%2</p>")
          .arg(QString::fromUtf8(kVersionLine).toHtmlEscaped(), QString::fromUtf8(kDescription).toHtmlEscaped()));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

void MainWindow::ToggleFullScreen() {
  if (isFullScreen())
    showNormal();
  else
    showFullScreen();
  fullScreen_->setChecked(isFullScreen());
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

void MainWindow::UpdatePickerText() {
  if (!havePicked_) return;
  colorText_->setText(Q(FormatPickedColor(picked_, pickerFormat_->currentData().toInt())));
}

void MainWindow::Start() {
  if (options_.fullScreen) {
    showFullScreen();
    fullScreen_->setChecked(true);
  } else {
    show();
  }
  if (options_.hasInitialFile) OpenPicture(options_.initialFile);
}

void MainWindow::ApplySettings(const settings::Settings& prefs) {
  preview_->SetBackground(prefs.backgroundColor);
  details_->setVisible(prefs.showDetails);
  picker_->setVisible(prefs.showColorPicker);
}

int MainWindow::OpenPicture(const std::string& path) {
  preview_->ResetView();
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
  preview_->SetImage(c && c->format == image::ARGB32 ? c : nullptr);
}

void MainWindow::OverlayChanged(const InfoList* info) {
  preview_->SetInfoList(info ? *info : InfoList{});
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
