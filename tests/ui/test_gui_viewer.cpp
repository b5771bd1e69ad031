// The main window with its display under the offscreen platform: a picture named on the
// command line is opened and rendered, the zoom keys change the zoom text, the "Display"
// menu switches the modes, and the colour picker follows the pointer.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/color_picker.h"
#include "app/ui/main_window.h"
#include "display/ui/preview.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/gui_main.h"
#include "platform/main_thread_queue.h"

using vl::display::ui::PreviewClass;

namespace {

// A picture with a different colour in every pixel and one half-transparent column.
bool WritePicture(const QString& path, int w, int h) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::ARGB32, false));
  if (!img) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      vl::image::SetPixel(img.get(), x, y, x == 0 ? 100 : 255, static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 5),
                          static_cast<uint8_t>((x + y) & 0xFF));
  return vl::formats::SavePNG(img.get(), path.toLocal8Bit().constData(), true) == 1;
}

// The RGB of buffer pixel (x, y).
QRgb BufferPixel(PreviewClass* p, int x, int y) {
  std::lock_guard<std::recursive_mutex> g(p->renderer().Lock());
  const auto& buf = p->renderer().buffer();
  const size_t i = (static_cast<size_t>(y) * p->renderer().bufferWidth() + x) * 3;
  if (i + 2 >= buf.size()) return 0;
  return qRgb(buf[i], buf[i + 1], buf[i + 2]);
}

// Where image pixel (0, 0) lands in the buffer at scale 1: columns start at the
// destination's truncated left edge, rows at the first row on or below its top edge.
QPoint Origin(PreviewClass* p) {
  std::lock_guard<std::recursive_mutex> g(p->renderer().Lock());
  const auto& d = p->renderer().state().destination;
  return QPoint(static_cast<int>(d.x0), static_cast<int>(std::ceil(d.y0)));
}

QAction* FindAction(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->text() == text) return a;
    if (a->menu())
      if (QAction* c = FindAction(a->menu(), text)) return c;
  }
  return nullptr;
}

}  // namespace

class ViewerTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vl::image::PoolScope> pool_;
  QTemporaryDir dir_;
  QString picture_;

 private Q_SLOTS:
  void initTestCase() {
    pool_ = std::make_unique<vl::image::PoolScope>();
    QVERIFY(dir_.isValid());
    QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("clips"))));
    qputenv("VISTALOOM_ASSIGN_CLIPS", dir_.filePath(QStringLiteral("clips")).toLocal8Bit());
    picture_ = dir_.filePath(QStringLiteral("card.png"));
    QVERIFY(WritePicture(picture_, 60, 40));
  }

  void cleanupTestCase() { pool_.reset(); }

  void opensTheFirstFileAndRendersIt() {
    vl::app::StartupOptions opts;
    opts.hasInitialFile = true;
    opts.initialFile = picture_.toStdString();
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.Start();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), picture_ + QStringLiteral(" (60x40)"));
    QCOMPARE(w.widthText(), QStringLiteral("60"));
    QCOMPARE(w.heightText(), QStringLiteral("40"));
    QCOMPARE(w.formatText(), QStringLiteral("PNG"));
    QVERIFY(w.loadTimeText().endsWith(QLatin1Char('s')));
    QCOMPARE(w.zoomText(), QStringLiteral("100%"));

    PreviewClass* p = w.preview();
    p->WaitRendered();
    // At scale 1 the picture sits in the middle of the area, one buffer pixel a pixel.
    const QPoint o = Origin(p);
    const int ox = o.x(), oy = o.y();
    int checked = 0;
    for (int y = 0; y < 40; y += 7)
      for (int x = 1; x < 60; x += 9) {
        QCOMPARE(BufferPixel(p, ox + x, oy + y), qRgb(x * 3, y * 5, (x + y) & 0xFF));
        ++checked;
      }
    QVERIFY(checked > 30);
    // The half-transparent column is blended over the checkerboard, not copied.
    QVERIFY(BufferPixel(p, ox, oy + 20) != qRgb(0, 100, 20));
    // Outside the picture: the background.
    QCOMPARE(BufferPixel(p, 0, 0), qRgb(0, 0, 0));
  }

  void aFileThatCannotBeReadLeavesNoImage() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QCOMPARE(w.OpenPicture(dir_.filePath(QStringLiteral("missing.png")).toStdString()), 1);
    QCOMPARE(w.windowTitle(), QStringLiteral("Vistaloom: Failed to load image"));
    QCOMPARE(w.widthText(), QStringLiteral("0"));
    QCOMPARE(w.loadTimeText(), QStringLiteral("0.00s"));
    QVERIFY(w.currentImage() == nullptr);
  }

  void zoomKeysChangeTheZoomText() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    PreviewClass* p = w.preview();
    p->setFocus();
    QTest::keyClick(p, Qt::Key_Equal);
    QCOMPARE(w.zoomText(), QStringLiteral("110%"));
    QTest::keyClick(p, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(w.zoomText(), QStringLiteral("121%"));
    QTest::keyClick(p, Qt::Key_0);
    QCOMPARE(w.zoomText(), QStringLiteral("100%"));
    QTest::keyClick(p, Qt::Key_Minus);
    QCOMPARE(w.zoomText(), QStringLiteral("90%"));
    QTest::keyClick(p, Qt::Key_0, Qt::KeypadModifier);
    QCOMPARE(w.zoomText(), QStringLiteral("100%"));
    QTest::keyClick(p, Qt::Key_A);
    QCOMPARE(w.zoomText(), QStringLiteral("100%"));  // other keys leave the zoom alone

    // Zoomed in, the picture covers about 2.14 times as many columns of the middle row.
    for (int i = 0; i < 8; ++i) QTest::keyClick(p, Qt::Key_Equal);
    p->WaitRendered();
    QCOMPARE(w.zoomText(), QStringLiteral("214%"));
    const int cy = p->height() / 2;
    int covered = 0;
    for (int x = 0; x < p->width(); ++x)
      if (BufferPixel(p, x, cy) != qRgb(0, 0, 0)) ++covered;
    QVERIFY2(covered >= 126 && covered <= 130, qPrintable(QString::number(covered)));
  }

  void displayMenuTogglesTheModes() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    PreviewClass* p = w.preview();
    QMenu* menu = p->DisplayMenu();
    QCOMPARE(menu->title(), QStringLiteral("Display"));
    QAction* none = FindAction(menu, QStringLiteral("None"));
    QAction* bilinear = FindAction(menu, QStringLiteral("Bilinear"));
    QAction* alpha = FindAction(menu, QStringLiteral("Alpha"));
    QAction* colorAlpha = FindAction(menu, QStringLiteral("Color + Alpha"));
    QAction* zoomFit = FindAction(menu, QStringLiteral("Zoom to fit display area"));
    QAction* subtask = FindAction(menu, QStringLiteral("Subtask"));
    QVERIFY(none && bilinear && alpha && colorAlpha && zoomFit && subtask);
    QVERIFY(none->isChecked());
    QVERIFY(colorAlpha->isChecked());
    QVERIFY(subtask->isChecked());
    QVERIFY(!zoomFit->isChecked());

    bilinear->trigger();
    QVERIFY(bilinear->isChecked());
    QVERIFY(!none->isChecked());
    QVERIFY(p->Options().bilinear);

    alpha->trigger();
    QVERIFY(alpha->isChecked());
    QVERIFY(!colorAlpha->isChecked());
    p->WaitRendered();
    // The area shows the alpha channel: 255 in the picture, 100 in its first column.
    const QPoint o = Origin(p);
    const int ox = o.x(), oy = o.y();
    QCOMPARE(BufferPixel(p, ox + 10, oy + 10), qRgb(255, 255, 255));

    zoomFit->trigger();
    QVERIFY(zoomFit->isChecked());
    QVERIFY(w.zoomText() != QStringLiteral("100%"));
    QVERIFY(p->Options().zoomToFit);
    subtask->trigger();
    QVERIFY(!p->Options().progressive);
    QVERIFY(!subtask->isChecked());
  }

  void pickerFollowsThePointer() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    PreviewClass* p = w.preview();
    p->WaitRendered();
    const QPoint o = Origin(p);
    const int ox = o.x(), oy = o.y();
    QTest::mouseMove(p, QPoint(ox + 10, oy + 4));
    QTRY_COMPARE(w.pickedColorText(), QStringLiteral("030,020,014,255"));
    w.pickerFormat()->setCurrentIndex(1);
    QCOMPARE(w.pickedColorText(), QStringLiteral("0x1e140eff"));
    w.pickerFormat()->setCurrentIndex(2);
    QCOMPARE(w.pickedColorText(), QStringLiteral("#1e140e"));
    QTest::mouseMove(p, QPoint(1, 1));  // outside the picture: the last colour stays
    QCOMPARE(w.pickedColorText(), QStringLiteral("#1e140e"));

    // Copy puts the text on clipboard unit 0 (a FORM FTXT) and on the desktop clipboard.
    QTest::mouseClick(w.copyButton(), Qt::LeftButton);
    QFile unit(dir_.filePath(QStringLiteral("clips/0")));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    const QByteArray form = unit.readAll();
    QVERIFY(form.startsWith("FORM"));
    QVERIFY(form.contains("FTXT"));
    QVERIFY(form.contains("#1e140e"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("#1e140e"));
  }

  void overlayIsBlendedOverTheFirstRows() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    PreviewClass* p = w.preview();
    p->WaitRendered();
    p->SetBackground(0x808080);
    p->WaitRendered();
    const QRgb before = BufferPixel(p, 2, 2);
    QCOMPARE(before, qRgb(0x80, 0x80, 0x80));
    w.overlayAction()->setChecked(true);
    p->WaitRendered();
    QVERIFY(BufferPixel(p, 2, 2) != before);
    w.overlayAction()->setChecked(false);
    p->WaitRendered();
    QCOMPARE(BufferPixel(p, 2, 2), before);
  }

  void draggingPansAndShiftDragSelects() {
    const QString big = dir_.filePath(QStringLiteral("big.png"));
    QVERIFY(WritePicture(big, 1200, 900));
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(big.toStdString()), 0);
    PreviewClass* p = w.preview();
    p->WaitRendered();
    QTest::mousePress(p, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
    QTest::mouseMove(p, QPoint(170, 180));
    QTest::mouseRelease(p, Qt::LeftButton, Qt::NoModifier, QPoint(170, 180));
    p->WaitRendered();
    {
      std::lock_guard<std::recursive_mutex> g(p->renderer().Lock());
      QCOMPARE(p->renderer().state().panX, 30.0f);
      QCOMPARE(p->renderer().state().panY, 20.0f);
    }
    // The moved buffer with its newly rendered strips shows what a full rendering shows:
    // buffer pixel (x, y) is image pixel (x + 30, y + 20).
    for (int y = 0; y < p->height(); y += 37)
      for (int x = 0; x < p->width(); x += 41)
        QCOMPARE(BufferPixel(p, x, y), qRgb(((x + 30) * 3) & 0xFF, ((y + 20) * 5) & 0xFF, (x + y + 50) & 0xFF));

    QSignalSpy spy(p, &PreviewClass::selectionChanged);
    QTest::mousePress(p, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 10));
    QTest::mouseMove(p, QPoint(60, 40));
    QTest::mouseRelease(p, Qt::LeftButton, Qt::ShiftModifier, QPoint(60, 40));
    QVERIFY(!spy.isEmpty());
    const QList<QVariant> last = spy.last();
    QCOMPARE(last.at(0).toInt(), 40);
    QCOMPARE(last.at(1).toInt(), 30);
    QCOMPARE(last.at(2).toInt(), 90);
    QCOMPARE(last.at(3).toInt(), 60);
  }

  void aboutRequester() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QString title, text, button;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      if (!box->buttons().isEmpty()) button = box->buttons().first()->text();
      box->accept();
    });
    w.ShowAbout();
    QCOMPARE(title, QStringLiteral("About..."));
    QVERIFY(text.contains(QStringLiteral("<b>Vistaloom 0.8.5 (21.08.06)</b>")));
    QCOMPARE(button, QStringLiteral("OK"));
  }

  void optionsRecordSetsTheCheckMarks() {
    PreviewClass p;
    p.resize(200, 150);
    QMenu* menu = p.DisplayMenu();
    vl::display::DisplayOptions o;
    o.bilinear = true;
    o.zoomToFit = true;
    o.shrinkToFit = false;
    o.keepZoom = true;
    o.progressive = false;
    p.ApplyOptions(o);
    QVERIFY(FindAction(menu, QStringLiteral("Bilinear"))->isChecked());
    QVERIFY(!FindAction(menu, QStringLiteral("None"))->isChecked());
    QVERIFY(FindAction(menu, QStringLiteral("Zoom to fit display area"))->isChecked());
    QVERIFY(!FindAction(menu, QStringLiteral("Shrink to fit display area"))->isChecked());
    QVERIFY(FindAction(menu, QStringLiteral("Keep"))->isChecked());
    QVERIFY(!FindAction(menu, QStringLiteral("Subtask"))->isChecked());
    const vl::display::DisplayOptions back = p.Options();
    QVERIFY(back.bilinear && back.zoomToFit && !back.shrinkToFit && back.keepZoom && !back.progressive);
  }

  void redrawRequestsGoThroughTheQueue() {
    vl::platform::SimpleMainThreadQueue queue;
    PreviewClass p(nullptr, &queue);
    p.resize(120, 90);
    vl::image::ChunkyPtr img(vl::image::chk_Create(30, 20, vl::image::ARGB32, false));
    vl::image::Fill(img.get(), 9, 8, 7, 255);
    QSignalSpy rendered(&p, &PreviewClass::rendered);
    p.SetImage(img.get());
    p.WaitRendered();
    QVERIFY(rendered.isEmpty());  // nothing reaches the widget until the queue runs
    QVERIFY(queue.RunPending() >= 1);
    QVERIFY(!rendered.isEmpty());
    p.SetImage(nullptr);
    p.WaitRendered();
    queue.RunPending();
  }

  void middleDragZooms() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    PreviewClass* p = w.preview();
    QTest::mousePress(p, Qt::MiddleButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(p, QPoint(100, 110));  // factor 1 + 10 * 0.02
    QTest::mouseRelease(p, Qt::MiddleButton, Qt::NoModifier, QPoint(100, 110));
    QCOMPARE(w.zoomText(), QStringLiteral("120%"));
    QTest::mousePress(p, Qt::LeftButton, Qt::ControlModifier, QPoint(100, 110));
    QTest::mouseMove(p, QPoint(100, 50));  // factor 1 + max(-1.2, -0.5)
    QTest::mouseRelease(p, Qt::LeftButton, Qt::ControlModifier, QPoint(100, 50));
    QCOMPARE(w.zoomText(), QStringLiteral("60%"));
  }

  void scriptCommandOverTheSocketChangesThePicture() {
    const QString other = dir_.filePath(QStringLiteral("other.png"));
    QVERIFY(WritePicture(other, 24, 18));
    vl::app::StartupOptions opts;
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    const std::string sock = dir_.filePath(QStringLiteral("port.sock")).toStdString();
    std::string error;
    QVERIFY2(session.OpenPort(sock, &error), error.c_str());
    vl::main::ui::ServePortBetweenEvents(session, &w);

    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string request = "Load \"" + other.toStdString() + "\"\n";
    QCOMPARE(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    fcntl(fd, F_SETFL, O_NONBLOCK);
    std::string reply;
    // The command runs on the GUI thread, so the event loop must turn while waiting.
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                               char buf[256];
                               ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                               if (n > 0) reply.append(buf, static_cast<size_t>(n));
                               return reply.find('\n') != std::string::npos;
                             }()),
                             20000);
    ::close(fd);
    QCOMPARE(QString::fromStdString(reply), QStringLiteral("RC 0\n"));
    QCOMPARE(w.windowTitle(), other + QStringLiteral(" (24x18)"));
    QCOMPARE(w.widthText(), QStringLiteral("24"));
    PreviewClass* p = w.preview();
    p->WaitRendered();
    std::lock_guard<std::recursive_mutex> g(p->renderer().Lock());
    QVERIFY(p->renderer().state().image != nullptr);
    QCOMPARE(p->renderer().state().image->width, 24);
    QCOMPARE(p->renderer().state().image->height, 18);
  }

  void fullScreenToggles() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.fullScreenAction()->isChecked());
    w.fullScreenAction()->trigger();
    QVERIFY(w.fullScreenAction()->isChecked());
    QTRY_VERIFY(w.isFullScreen());
    w.fullScreenAction()->trigger();
    QTRY_VERIFY(!w.isFullScreen());
    QVERIFY(!w.fullScreenAction()->isChecked());
    // A double click in the display area switches too.
    QTest::mouseDClick(w.preview(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTRY_VERIFY(w.isFullScreen());
    QVERIFY(w.fullScreenAction()->isChecked());
  }
};

QTEST_MAIN(ViewerTest)
#include "test_gui_viewer.moc"
