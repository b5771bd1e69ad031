// The main window as a user meets it: the menu tree, the enable rules while a tool window is
// open, the items without a window, the clipboard, drops, and a new picture resetting the view.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/menu_tree.h"
#include "app/ui/main_window.h"
#include "display/ui/preview.h"
#include "edit/ui/resize_window.h"
#include "formats/png_writer.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/requester.h"

namespace {

struct RecordingRequester : vl::platform::Requester {
  std::vector<std::string> errors;
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string&, const std::string&, const std::string&) override { return 0; }
};

bool WritePicture(const QString& path, int w, int h) {
  vl::image::ChunkyPtr img(vl::image::chk_Create(w, h, vl::image::ARGB32, false));
  if (!img) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      vl::image::SetPixel(img.get(), x, y, 255, static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 7), 40);
  return vl::formats::SavePNG(img.get(), path.toLocal8Bit().constData(), true) == 1;
}

// Every menu action of the bar, depth first.
void Collect(QMenu* menu, std::vector<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu())
      Collect(a->menu(), out);
    else
      out.push_back(a);
  }
}

}  // namespace

class MainWindowMenusTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vl::image::PoolScope> pool_;
  QTemporaryDir dir_;
  QString picture_;
  RecordingRequester requester_;

  std::vector<QAction*> Items(vl::app::ui::MainWindow& w) {
    std::vector<QAction*> all;
    for (QAction* title : w.menuBar()->actions())
      if (title->menu()) Collect(title->menu(), all);
    return all;
  }

 private Q_SLOTS:
  void initTestCase() {
    pool_ = std::make_unique<vl::image::PoolScope>();
    QVERIFY(dir_.isValid());
    qputenv("VISTALOOM_ASSIGN_CLIPS", dir_.filePath(QStringLiteral("clips")).toLocal8Bit());
    picture_ = dir_.filePath(QStringLiteral("card.png"));
    QVERIFY(WritePicture(picture_, 64, 48));
    vl::platform::SetRequester(&requester_);
  }
  void cleanupTestCase() {
    vl::platform::SetRequester(nullptr);
    pool_.reset();
  }
  void init() { requester_.errors.clear(); }

  void theMenuBarFollowsTheTree() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    QStringList titles;
    for (QAction* t : w.menuBar()->actions()) titles << t->text();
    QCOMPARE(titles, QStringList({"Project", "Edit", "View", "Process", "Tools", "Settings"}));
    // Every labelled item of the tree is one action, in tree order, with its key and flags.
    std::vector<QAction*> items = Items(w);
    size_t next = 0;
    for (size_t i = 0; i < vl::app::kMenuTree.size(); ++i) {
      const vl::app::MenuEntry& e = vl::app::kMenuTree[i];
      const bool submenu = e.kind == vl::app::MenuKind::kItem && i + 1 < vl::app::kMenuTree.size() &&
                           vl::app::kMenuTree[i + 1].kind == vl::app::MenuKind::kSubItem;
      if (e.kind == vl::app::MenuKind::kTitle || !e.label || submenu) continue;
      QVERIFY2(next < items.size(), e.label);
      QAction* a = items[next++];
      QVERIFY2(a->text().startsWith(QString::fromUtf8(e.label)), e.label);
      QCOMPARE(a->data().toInt(), e.id);
      QCOMPARE(a->isCheckable(), (e.flags & (vl::app::kMenuCheck | vl::app::kMenuRadio)) != 0);
      QCOMPARE(a->shortcut().isEmpty(), !vl::app::MenuKeyReaches(i));
    }
    QCOMPARE(next, items.size());
    // A shared key is bound once.
    int withR = 0;
    for (QAction* a : items) withR += a->shortcut() == QKeySequence(QStringLiteral("Ctrl+R"));
    QCOMPARE(withR, 1);
    QCOMPARE(w.menuAction(vl::app::kMenuResize)->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
  }

  void toolWindowsDisableTheMenusAndTheContents() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::StartupOptions opts;
    opts.view3D = true;
    vl::app::ui::MainWindow w(session.controller(), opts);
    vl::main::ui::WindowTable windows(session, w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // "Setup..." opens the settings window, made on first use.
    w.menuAction(vl::app::kMenuSetup)->trigger();
    auto* settings = w.findChild<QDialog*>(QStringLiteral("settingsWindow"));
    QVERIFY(settings && settings->isVisible());
    settings->reject();
    QVERIFY(w.menuAction(vl::app::kMenuResize)->isEnabled());
    QVERIFY(w.menuAction(vl::app::kMenuNegative)->isEnabled());
    // Without a picture the resize window does not open.
    w.menuAction(vl::app::kMenuResize)->trigger();
    QVERIFY(!w.toolWindowOpen());
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    w.menuAction(vl::app::kMenuResize)->trigger();
    QVERIFY(w.toolWindowOpen());
    QVERIFY(windows.Busy());
    QVERIFY(!w.centralWidget()->isEnabled());
    for (QAction* a : Items(w)) QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    for (QAction* t : w.menuBar()->actions()) QVERIFY(!t->isEnabled());
    auto* resize = w.findChild<vl::edit::ui::ResizeWindow*>();
    QVERIFY(resize);
    QTest::keyClick(resize, Qt::Key_Escape);
    QTRY_VERIFY(!w.toolWindowOpen());
    QVERIFY(!windows.Busy());
    QVERIFY(w.centralWidget()->isEnabled());
    QVERIFY(w.menuAction(vl::app::kMenuQuit)->isEnabled());
  }

  void itemsWithoutAWindowActAtOnce() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    vl::main::ui::WindowTable windows(session, w);
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    vl::app::Controller& c = session.controller();
    w.menuAction(vl::app::kMenuRotateClockwise)->trigger();
    QCOMPARE(c.currentImage()->chunky->width, 48);
    QCOMPARE(w.widthText(), QStringLiteral("48"));
    w.menuAction(vl::app::kMenuRotateCounterClockwise)->trigger();
    QCOMPARE(c.currentImage()->chunky->width, 64);
    const uint8_t before = c.currentImage()->chunky->pixels[5];
    w.menuAction(vl::app::kMenuNegative)->trigger();
    QCOMPARE(c.currentImage()->chunky->pixels[5], static_cast<uint8_t>(255 - before));
    QVERIFY(!c.undoImage());
    w.menuAction(vl::app::kMenuNegative)->trigger();
    w.menuAction(vl::app::kMenuGrayscale)->trigger();
    QVERIFY(c.undoImage());
    const uint8_t* p = c.currentImage()->chunky->pixels;
    QCOMPARE(p[5], p[6]);
    w.menuAction(vl::app::kMenuUndo)->trigger();
    QCOMPARE(c.currentImage()->chunky->pixels[5], before);
    w.menuAction(vl::app::kMenuFlipHorizontal)->trigger();
    w.menuAction(vl::app::kMenuFlipHorizontal)->trigger();
    QCOMPARE(c.currentImage()->chunky->pixels[5], before);
  }

  void clipboardCopyPasteAndAnEmptyClipboard() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    vl::app::Controller& c = session.controller();
    // An empty clipboard: a requester, the picture stays.
    QGuiApplication::clipboard()->clear();
    QFile::remove(dir_.filePath(QStringLiteral("clips/0")));
    w.PastePicture();
    QCOMPARE(requester_.errors.size(), size_t{1});
    QCOMPARE(c.currentImage()->chunky->width, 64);
    // Copy puts the picture on the desktop's clipboard, with its colours.
    w.CopyPicture();
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), QSize(64, 48));
    QCOMPARE(copied.pixel(3, 2), qRgba(15, 14, 40, 255));
    // A picture another program put there comes in with Paste.
    QImage other(10, 7, QImage::Format_ARGB32);
    other.fill(qRgba(1, 2, 3, 200));
    QGuiApplication::clipboard()->setImage(other);
    w.PastePicture();
    QCOMPARE(c.currentImage()->chunky->width, 10);
    QCOMPARE(c.currentImage()->chunky->pixels[0], uint8_t{200});
    QCOMPARE(c.currentImage()->chunky->pixels[3], uint8_t{3});
  }

  void ctrlCInATextFieldCopiesItsText() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    w.ShowPickedColor(0xFF102030u);
    auto* field = w.findChild<QLineEdit*>(QStringLiteral("pickedColor"));
    QVERIFY(field);
    field->setFocus();
    field->selectAll();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("016,032,048,255"));
    QVERIFY2(QGuiApplication::clipboard()->image().isNull(), "the field's text, not the picture");
    // Away from text fields the key is the menu's "Copy".
    w.preview()->setFocus();
    QTest::keyClick(w.preview(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(64, 48));
  }

  void dropsAndANewPictureResetTheView() {
    vl::main::Session session(vl::settings::DefaultSettings());
    vl::app::ui::MainWindow w(session.controller(), vl::app::StartupOptions{});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto drop = [&w](const QString& file) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(file)});
      // A drop reaches the widget that accepted the drag's entry.
      QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &enter);
      QDropEvent event(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &event);
    };
    const QString text = dir_.filePath(QStringLiteral("notes.txt"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture\n");
    f.close();
    drop(text);
    QCOMPARE(requester_.errors.size(), size_t{1});
    QVERIFY(!session.controller().currentImage());
    drop(picture_);
    QVERIFY(session.controller().currentImage());
    // Zoomed in, then a new picture: the zoom goes back to 100% (Keep is off).
    w.preview()->WaitRendered();
    QVERIFY(w.preview()->ZoomKey(13));  // "="
    QVERIFY(w.zoomText() != QStringLiteral("100%"));
    QCOMPARE(w.OpenPicture(picture_.toStdString()), 0);
    QCOMPARE(w.zoomText(), QStringLiteral("100%"));
  }
};

QTEST_MAIN(MainWindowMenusTest)
#include "test_main_window_menus.moc"
