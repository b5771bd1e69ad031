#include "display/ui/preview.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "platform/ui/qt_main_thread_queue.h"

namespace vl::display::ui {

namespace {
// Linux input key codes of the zoom keys for platforms that do not hand out evdev-based
// scan codes (the X11 platform gives the X key code, which is the Linux code plus 8).
int LinuxKeyCode(const QKeyEvent* e) {
  if (QGuiApplication::platformName() == QLatin1String("xcb") && e->nativeScanCode() > 8)
    return static_cast<int>(e->nativeScanCode()) - 8;
  const bool keypad = (e->modifiers() & Qt::KeypadModifier) != 0;
  switch (e->key()) {
    case Qt::Key_Equal: return 13;
    case Qt::Key_Plus: return keypad ? 78 : 13;
    case Qt::Key_Minus: return keypad ? 74 : 12;
    case Qt::Key_0: return keypad ? 82 : 11;
    default: return 0;
  }
}

constexpr float kHandleGrab = 6.0f;
// The distance between the grid's lines, in display pixels.
constexpr float kGridSpacing = 40.0f;
}  // namespace

PreviewClass::PreviewClass(QWidget* parent, platform::MainThreadQueue* queue) : QWidget(parent), self_(this) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(64, 64);
  platform::MainThreadQueue* q = queue ? queue : &platform::ui::GuiQueue();
  task_ = std::make_unique<RenderTask>(renderer_, [this, q] {
    // Runs on the task's thread: only queue the redraw for the GUI thread, where the
    // widget may be gone by the time the job runs.
    QPointer<PreviewClass> guard = self_;
    q->Push([guard] {
      if (guard) guard->OnRedrawRequest();
    });
  });
}

PreviewClass::~PreviewClass() {
  task_.reset();  // quit the task before the buffer and the overlay go
}

void PreviewClass::Send(int command) {
  if (command != kStopCommand && overlayDirty_) MakeOverlay();
  if (task_ && task_->Running()) {
    task_->Send(command);
  } else {
    // Without the task, render in place.
    bool redraw = renderer_.Command(command == kStopCommand ? command : kRenderNowCommand);
    while (renderer_.InProgress()) redraw = renderer_.Pass() || redraw;
    if (redraw) update();
  }
}

void PreviewClass::SetImage(const image::ChunkyImage* img, image::ColourTransformPtr colour) {
  Send(kStopCommand);
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().SetImage(img);
    renderer_.SetColourTransform(img ? std::move(colour) : nullptr);
  }
  PublishScale();
  Send(kRenderCommand);
  update();
}

void PreviewClass::SetColourTransform(image::ColourTransformPtr colour) {
  Send(kStopCommand);
  renderer_.SetColourTransform(std::move(colour));
  Refresh();
}

void PreviewClass::Refresh() {
  Send(kRenderCommand);
  update();
}

void PreviewClass::ResetView() {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().ResetView();
  }
  PublishScale();
  Send(kRenderCommand);
}

DisplayOptions PreviewClass::Options() {
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  return renderer_.state().options;
}

void PreviewClass::ApplyOptions(const DisplayOptions& options) {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().ApplyOptions(options);
  }
  UpdateChecks();
  PublishScale();
  Send(kRenderCommand);
}

void PreviewClass::SetContents(int mode) {
  if (mode < kColorAlpha || mode > kAlpha) return;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().contents = mode;
  }
  UpdateChecks();
  Send(kRenderCommand);
}

int PreviewClass::Contents() {
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  return renderer_.state().contents;
}

void PreviewClass::SetGrid(bool on) {
  if (grid_ == on) return;
  grid_ = on;
  update();
}

Rect PreviewClass::selection() {
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  return renderer_.state().selection;
}

void PreviewClass::SetSelection(const Rect& r) {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().SetSelection(r);
  }
  update();
}

void PreviewClass::SetSelectionAspect(float aspect) {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    DisplayState& s = renderer_.state();
    s.selectionAspect = aspect;
    s.FitSelectionToAspect();
  }
  update();
}

void PreviewClass::ClearSelection() {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().selection = Rect{};
  }
  drag_ = drag_ == Drag::kSelect ? Drag::kNone : drag_;
  Q_EMIT selectionChanged(0, 0, 0, 0);
  update();
}

void PreviewClass::SetBackground(uint32_t rgb) {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().background = rgb & 0xFFFFFF;
  }
  Send(kRenderCommand);
}

void PreviewClass::SetInfoList(const std::vector<std::pair<std::string, std::string>>& list) {
  Send(kStopCommand);
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.SetOverlay(nullptr);
  }
  overlay_.reset();
  infoList_ = list;
  overlayDirty_ = !infoList_.empty();
  Send(kRenderCommand);
}

void PreviewClass::MakeOverlay() {
  overlayDirty_ = false;
  if (infoList_.empty() || width() <= 0) return;
  const QFontMetrics fm(font());
  const int pad = 4, lineH = fm.height();
  int textW = 0;
  std::vector<QString> lines;
  for (const auto& [label, value] : infoList_) {
    lines.push_back(QString::fromStdString(label) + QLatin1Char(' ') + QString::fromStdString(value));
    textW = std::max(textW, fm.horizontalAdvance(lines.back()));
  }
  const int w = std::min(width(), textW + 2 * pad);
  const int h = static_cast<int>(lines.size()) * lineH + 2 * pad;
  if (w <= 0 || !image::SizeAllowed(w, h, image::ARGB32)) return;
  QImage pic(w, h, QImage::Format_ARGB32);
  pic.fill(QColor(0, 0, 0, 160));
  {
    QPainter p(&pic);
    p.setFont(font());
    p.setPen(Qt::white);
    for (size_t i = 0; i < lines.size(); ++i)
      p.drawText(pad, pad + static_cast<int>(i) * lineH + fm.ascent(), lines[i]);
  }
  image::ChunkyPtr chunky(image::chk_Create(w, h, image::ARGB32, false));
  if (!chunky) return;
  for (int y = 0; y < h; ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
    uint8_t* dst = chunky->pixels + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x, dst += 4) {
      dst[0] = static_cast<uint8_t>(qAlpha(src[x]));
      dst[1] = static_cast<uint8_t>(qRed(src[x]));
      dst[2] = static_cast<uint8_t>(qGreen(src[x]));
      dst[3] = static_cast<uint8_t>(qBlue(src[x]));
    }
  }
  overlay_ = std::move(chunky);
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  renderer_.SetOverlay(overlay_.get());
}

int32_t PreviewClass::ScaleFixed() {
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  return renderer_.state().ScaleFixed();
}

void PreviewClass::PublishScale() {
  int32_t s = ScaleFixed();
  if (s == publishedScale_) return;
  publishedScale_ = s;
  Q_EMIT scaleChanged(s);
}

void PreviewClass::WaitRendered() {
  if (task_) task_->WaitIdle();
}

void PreviewClass::OnRedrawRequest() {
  update();
  bool busy;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    busy = renderer_.InProgress();
  }
  if (!busy) Q_EMIT rendered();
}

void PreviewClass::paintEvent(QPaintEvent*) {
  QPainter p(this);
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  const DisplayState& s = renderer_.state();
  const QColor bg(static_cast<int>((s.background >> 16) & 0xFF), static_cast<int>((s.background >> 8) & 0xFF),
                  static_cast<int>(s.background & 0xFF));
  const int bw = renderer_.bufferWidth(), bh = renderer_.bufferHeight();
  if (bw > 0 && bh > 0 && renderer_.buffer().size() >= static_cast<size_t>(bw) * bh * 3) {
    const QImage img(renderer_.buffer().data(), bw, bh, bw * 3, QImage::Format_RGB888);
    p.drawImage(0, 0, img);
  }
  // Whatever the buffer does not cover (no rendering yet, or an area that grew).
  if (bw < width()) p.fillRect(bw, 0, width() - bw, height(), bg);
  if (bh < height()) p.fillRect(0, bh, std::min(bw, width()), height() - bh, bg);
  if (!s.image) return;
  float x0, y0, x1, y1;
  const Rect& sel = s.selection;
  if ((sel.x0 != sel.x1 || sel.y0 != sel.y1) && s.ImageToBuffer(sel.x0, sel.y0, x0, y0) &&
      s.ImageToBuffer(sel.x1, sel.y1, x1, y1)) {
    p.setPen(QPen(Qt::white, 1, Qt::DashLine));
    p.drawLine(QPointF(x0, y0), QPointF(x1, y0));
    p.drawLine(QPointF(x1, y0), QPointF(x1, y1));
    p.drawLine(QPointF(x1, y1), QPointF(x0, y1));
    p.drawLine(QPointF(x0, y1), QPointF(x0, y0));
  }
  if (grid_) {
    // Over the part of the picture that shows, lines at a fixed distance on the screen.
    const Rect& d = s.destination;
    p.setPen(QPen(QColor(255, 255, 255, 160), 1));
    for (float x = d.x0 + kGridSpacing; x < d.x1; x += kGridSpacing) p.drawLine(QPointF(x, d.y0), QPointF(x, d.y1));
    for (float y = d.y0 + kGridSpacing; y < d.y1; y += kGridSpacing) p.drawLine(QPointF(d.x0, y), QPointF(d.x1, y));
  }
}

void PreviewClass::resizeEvent(QResizeEvent*) {
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    renderer_.state().SetArea(width(), height());
  }
  if (!infoList_.empty()) overlayDirty_ = true;
  PublishScale();
  Send(kRenderCommand);
}

void PreviewClass::AfterZoom(bool changed) {
  if (!changed) return;
  PublishScale();
  Send(kRenderCommand);
  update();
}

bool PreviewClass::ZoomKey(int linuxKeyCode) {
  ZoomInput in = ZoomInputForLinuxKey(linuxKeyCode);
  if (in == ZoomInput::kNone) return false;
  bool changed;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    changed = renderer_.state().Zoom(in);
  }
  AfterZoom(changed);
  return true;
}

void PreviewClass::wheelEvent(QWheelEvent* e) {
  const int dy = e->angleDelta().y();
  if (dy == 0 || !rect().contains(e->position().toPoint())) {
    e->ignore();
    return;
  }
  bool changed;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    changed = renderer_.state().Zoom(dy > 0 ? ZoomInput::kIn : ZoomInput::kOut);
  }
  AfterZoom(changed);
  e->accept();
}

void PreviewClass::keyPressEvent(QKeyEvent* e) {
  if (!ZoomKey(LinuxKeyCode(e))) QWidget::keyPressEvent(e);
}

void PreviewClass::mousePressEvent(QMouseEvent* e) {
  last_ = e->position().toPoint();
  setFocus(Qt::MouseFocusReason);
  const bool ctrl = (e->modifiers() & Qt::ControlModifier) != 0;
  const bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
  if (e->button() == Qt::MiddleButton || (e->button() == Qt::LeftButton && ctrl)) {
    drag_ = Drag::kZoom;
  } else if (e->button() == Qt::LeftButton && shift) {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    DisplayState& s = renderer_.state();
    float ix, iy;
    if (s.BufferToImage(static_cast<float>(last_.x()), static_cast<float>(last_.y()), ix, iy)) {
      handle_ = s.PickHandle(static_cast<float>(last_.x()), static_cast<float>(last_.y()), kHandleGrab);
      if (handle_ == 0) {
        s.SetSelection(Rect{ix, iy, ix, iy});
        handle_ = 3;
      }
      drag_ = Drag::kSelect;
    }
  } else if (e->button() == Qt::LeftButton) {
    drag_ = Drag::kPan;
  } else {
    QWidget::mousePressEvent(e);
  }
}

void PreviewClass::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  const QPoint d = pos - last_;
  last_ = pos;
  switch (drag_) {
    case Drag::kPan: {
      bool busy;
      {
        std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
        int sx, sy;
        renderer_.state().PanBy(static_cast<float>(d.x()), static_cast<float>(d.y()), sx, sy);
        busy = renderer_.InProgress();
        // A finished buffer moves and only its uncovered strips are rendered; a buffer
        // still being rendered is rendered again.
        if (!busy) renderer_.Scroll(sx, sy);
      }
      if (busy) Send(kRenderCommand);
      update();
      return;
    }
    case Drag::kZoom: {
      if (d.y() == 0) return;
      bool changed;
      {
        std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
        changed = renderer_.state().DragZoom(d.y());
      }
      AfterZoom(changed);
      return;
    }
    case Drag::kSelect: {
      Rect sel;
      {
        std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
        DisplayState& s = renderer_.state();
        float ix, iy;
        if (!s.BufferToImage(static_cast<float>(pos.x()), static_cast<float>(pos.y()), ix, iy)) return;
        s.DragSelection(handle_, ix, iy);
        sel = s.selection;
      }
      Q_EMIT selectionChanged(static_cast<int>(sel.x0), static_cast<int>(sel.y0), static_cast<int>(sel.x1),
                              static_cast<int>(sel.y1));
      Send(kRenderNowCommand);
      update();
      return;
    }
    case Drag::kNone: break;
  }
  uint32_t argb = 0;
  bool inside;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    inside = renderer_.state().PixelAt(static_cast<float>(pos.x()), static_cast<float>(pos.y()), argb);
  }
  if (inside) Q_EMIT colorPicked(argb);
}

void PreviewClass::mouseReleaseEvent(QMouseEvent* e) {
  drag_ = Drag::kNone;
  handle_ = 0;
  QWidget::mouseReleaseEvent(e);
}

void PreviewClass::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) Q_EMIT fullScreenRequested();
}

void PreviewClass::contextMenuEvent(QContextMenuEvent* e) {
  DisplayMenu()->popup(e->globalPos());
}

QMenu* PreviewClass::DisplayMenu() {
  if (menu_) return menu_;
  menu_ = new QMenu(QString::fromUtf8(kDisplayMenuTitle), this);
  auto add = [this](QMenu* into, const DisplayMenuItem& item, QActionGroup* group) {
    QAction* a = into->addAction(QString::fromUtf8(item.label));
    a->setCheckable(true);
    if (group) group->addAction(a);
    const MenuAction action = item.action;
    connect(a, &QAction::triggered, this, [this, action] { OnMenuAction(action); });
    menuActions_.emplace_back(a, action);
  };
  for (const DisplayMenuItem& item : display::DisplayMenu()) {
    if (item.kind != MenuKind::kSubmenu) {
      add(menu_, item, nullptr);
      continue;
    }
    QMenu* sub = menu_->addMenu(QString::fromUtf8(item.label));
    QActionGroup* group = nullptr;
    for (const DisplayMenuItem& child : item.children) {
      if (child.kind == MenuKind::kRadio && !group) {
        group = new QActionGroup(sub);
        group->setExclusive(true);
      }
      add(sub, child, child.kind == MenuKind::kRadio ? group : nullptr);
    }
  }
  UpdateChecks();
  return menu_;
}

void PreviewClass::UpdateChecks() {
  std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
  for (auto& [a, action] : menuActions_) a->setChecked(IsChecked(renderer_.state(), action));
}

void PreviewClass::OnMenuAction(MenuAction action) {
  bool render;
  {
    std::lock_guard<std::recursive_mutex> g(renderer_.Lock());
    render = ApplyMenuAction(renderer_.state(), action);
  }
  UpdateChecks();
  PublishScale();
  if (render) Send(kRenderCommand);
  update();
}

}  // namespace vl::display::ui
