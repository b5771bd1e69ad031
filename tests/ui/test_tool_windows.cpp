// The tool windows under the offscreen platform: the pattern every tool window shares
// (opening only with a picture, opened/closed, Realtime, Execute committing and every other
// way of closing cancelling, the keyboard), previews on the worker thread, and the resize
// window "Size".
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest/QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "edit/blur_ops.h"
#include "edit/tone_ops.h"
#include "edit/ui/resize_window.h"
#include "image/pool.h"
#include "image/resample.h"
#include "platform/ui/qt_requester.h"
#include "script/commands.h"
#include "script/handlers.h"
#include "ui_test_util.h"

using namespace vl;
using edit::ui::ResizeWindow;
using edit::ui::ToolKind;
using edit::ui::ToolWindow;
using test::Bytes;
using test::BytesOf;
using test::Current;
using test::WhenModal;

namespace {

// Makes a w x h picture, a different value in every byte, the controller's current picture.
void OpenPicture(app::Controller& c, int w, int h, uint32_t format = image::ARGB32) {
  c.SetReader([w, h, format](const char*) {
    image::Texture* t = image::CreateTexture(w, h, format);
    for (size_t i = 0; i < image::BufferBytes(w, h, format); ++i)
      t->chunky->pixels[i] = static_cast<uint8_t>(i * 37 + i / 5);
    return t;
  });
  QCOMPARE(c.OpenPicture("pattern"), 0);
}

template <typename T>
T* Child(QWidget* w, const QString& name) {
  return w->findChild<T*>(name);
}
void Click(QWidget* w, const QString& button) {
  QTest::mouseClick(Child<QPushButton>(w, button), Qt::LeftButton);
}

// An in-place tool window with one parameter, the red gain of the RGB balance.
class BalanceWindow : public edit::ui::OperationWindow<edit::RGBBalanceParams> {
 public:
  explicit BalanceWindow(app::Controller& c, RunFn run = edit::RunRGBBalance)
      : OperationWindow(c, QStringLiteral("RGB Balance"), ToolKind::kInPlace, edit::ApplyRGBBalance, run, nullptr) {
    red_ = new QSpinBox(parameterArea());
    red_->setObjectName(QStringLiteral("red"));
    red_->setRange(edit::RGBBalanceParams::kChannel.min, edit::RGBBalanceParams::kChannel.max);
    red_->setValue(edit::RGBBalanceParams::kChannel.start);
    (new QVBoxLayout(parameterArea()))->addWidget(red_);
    connect(red_, &QSpinBox::valueChanged, this, [this] { ParametersChanged(); });
  }
  edit::RGBBalanceParams parameters() const override { return {red_->value(), 100, 100, 100}; }

 private:
  QSpinBox* red_;
};

// The Gaussian blur with its "Mask size:" in hundredths of the radius.
class BlurWindow : public edit::ui::OperationWindow<edit::GaussianBlurParams> {
 public:
  explicit BlurWindow(app::Controller& c)
      : OperationWindow(c, QStringLiteral("Gaussian Blur"), ToolKind::kInPlace, edit::ApplyGaussianBlur,
                        edit::RunGaussianBlur, nullptr) {
    mask_ = new QSpinBox(parameterArea());
    mask_->setObjectName(QStringLiteral("maskSize"));
    mask_->setRange(edit::GaussianBlurParams::kMaskSize.min, edit::GaussianBlurParams::kMaskSize.max);
    mask_->setValue(edit::GaussianBlurParams::kMaskSize.start);
    (new QVBoxLayout(parameterArea()))->addWidget(mask_);
    connect(mask_, &QSpinBox::valueChanged, this, [this] { ParametersChanged(); });
  }
  edit::GaussianBlurParams parameters() const override {
    return {static_cast<float>(mask_->value()) / 100.0f, filters::kColourOnly};
  }

 private:
  QSpinBox* mask_;
};

// A run of the RGB balance that waits while g_hold is set, unless its stop flag is raised.
std::atomic<bool> g_hold{false};
std::atomic<int> g_heldRuns{0};
std::atomic<int> g_stoppedRuns{0};
bool HeldBalance(const image::ChunkyImage& src, image::ChunkyImage& dst, const edit::RGBBalanceParams& p,
                 const edit::StopFlag& stop) {
  ++g_heldRuns;
  while (g_hold && !stop.Requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (stop.Requested()) {
    ++g_stoppedRuns;
    return false;
  }
  return edit::RunRGBBalance(src, dst, p, stop);
}

// The picture after the scripting port's command line on a controller of its own.
Bytes AfterScript(int w, int h, const char* line) {
  app::Controller c;
  OpenPicture(c, w, h);
  script::CommandPort port;
  script::InstallHandlers(port, c);
  if (port.Execute(line).rc != 0) return {};
  return BytesOf(Current(c));
}

Bytes Balanced(const image::ChunkyImage* src, int32_t red) {
  image::ChunkyPtr dst(image::chk_Create(src->width, src->height, src->format, true));
  if (!edit::RunRGBBalance(*src, *dst, {red, 100, 100, 100}, edit::NeverStop())) return {};
  return BytesOf(dst.get());
}

}  // namespace

class ToolWindowsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { pool_ = std::make_unique<image::PoolScope>(); }
  void cleanupTestCase() { pool_.reset(); }

  void withoutAPictureNothingOpens() {
    app::Controller c;
    BalanceWindow balance(c);
    ResizeWindow resize(
        c, [] { return 0u; }, nullptr);
    for (ToolWindow* w : std::initializer_list<ToolWindow*>{&balance, &resize}) {
      QSignalSpy opened(w, &ToolWindow::opened);
      QVERIFY(!w->Open());
      QVERIFY(!w->isOpen() && !w->isVisible());
      QCOMPARE(opened.count(), 0);
    }
  }

  void everyWayOfClosingReportsOnce_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("executes");
    QTest::newRow("Execute button") << QStringLiteral("execute") << true;
    QTest::newRow("Enter") << QStringLiteral("enter") << true;
    QTest::newRow("Cancel button") << QStringLiteral("cancel") << false;
    QTest::newRow("Escape") << QStringLiteral("escape") << false;
    QTest::newRow("window manager close") << QStringLiteral("close") << false;
  }
  void everyWayOfClosingReportsOnce() {
    QFETCH(QString, way);
    QFETCH(bool, executes);
    app::Controller c;
    OpenPicture(c, 6, 4);
    const Bytes original = BytesOf(Current(c));
    BalanceWindow w(c);
    QSignalSpy opened(&w, &ToolWindow::opened);
    QSignalSpy closed(&w, &ToolWindow::closed);
    QVERIFY(w.Open());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.Open());  // already open: raised, not opened again
    QCOMPARE(opened.count(), 1);

    // Realtime off: a change previews nothing; switched on, the change is previewed.
    auto* red = Child<QSpinBox>(&w, QStringLiteral("red"));
    QCOMPARE(QApplication::focusWidget(), red);
    red->setValue(250);
    QCOMPARE(BytesOf(Current(c)), original);
    w.realtimeSwitch()->setChecked(true);
    const Bytes previewed = Balanced(c.editBackup()->chunky, 250);
    QCOMPARE(BytesOf(Current(c)), previewed);
    QVERIFY(previewed != original);

    if (way == QLatin1String("execute") || way == QLatin1String("cancel")) Click(&w, way);
    if (way == QLatin1String("enter")) QTest::keyClick(red, Qt::Key_Return);
    if (way == QLatin1String("escape")) QTest::keyClick(red, Qt::Key_Escape);
    if (way == QLatin1String("close")) QVERIFY(w.close());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(opened.count(), 1);
    QVERIFY(!w.isOpen() && !w.isVisible());
    QCOMPARE(c.editBackup(), nullptr);
    QCOMPARE(BytesOf(Current(c)), executes ? previewed : original);
    if (executes)
      QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    else
      QCOMPARE(c.undoImage(), nullptr);
  }

  // A burst of changes on a picture too large to run inline: "_Execute" gives the bytes of the
  // scripting port's command with the final value, however far the previews had come.
  void executeGivesTheScriptBytesAfterABurstOfChanges_data() {
    QTest::addColumn<bool>("realtime");
    QTest::addColumn<bool>("waitForThePreview");
    QTest::newRow("realtime, the last result shown") << true << true;
    QTest::newRow("realtime, runs still pending") << true << false;
    QTest::newRow("realtime off") << false << false;
  }
  void executeGivesTheScriptBytesAfterABurstOfChanges() {
    QFETCH(bool, realtime);
    QFETCH(bool, waitForThePreview);
    const int w = 160, h = 100;  // more than RealtimePreview::kInlinePixels
    app::Controller c;
    OpenPicture(c, w, h);
    const Bytes original = BytesOf(Current(c));
    BlurWindow win(c);
    QVERIFY(win.Open());
    win.realtimeSwitch()->setChecked(realtime);
    auto* mask = Child<QSpinBox>(&win, QStringLiteral("maskSize"));
    for (int v : {900, 2500, 350, 4000, 1250}) mask->setValue(v);
    if (realtime) {
      QVERIFY(c.editBackup());
      image::ChunkyPtr expected(image::chk_Create(w, h, image::ARGB32, false));
      QVERIFY(
          edit::RunGaussianBlur(*c.editBackup()->chunky, *expected, {12.5f, filters::kColourOnly}, edit::NeverStop()));
      if (waitForThePreview) QTRY_COMPARE(BytesOf(Current(c)), BytesOf(expected.get()));
    } else {
      QCOMPARE(BytesOf(Current(c)), original);
    }
    Click(&win, QStringLiteral("execute"));
    QTRY_VERIFY(!win.isOpen());
    const Bytes script = AfterScript(w, h, "Blur color 12.5");
    QVERIFY(!script.empty() && script != original);
    QCOMPARE(BytesOf(Current(c)), script);
    QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    QCOMPARE(c.editBackup(), nullptr);
  }

  // A run that takes its time: the event loop goes on, "_Execute" waits for it with only
  // "_Cancel" taking input, and every other ending stops it and restores the picture.
  void aRunInFlightLeavesTheWindowResponsive_data() {
    QTest::addColumn<QString>("ending");
    QTest::newRow("Execute") << QStringLiteral("execute");
    QTest::newRow("Cancel") << QStringLiteral("cancel");
    QTest::newRow("Cancel while Execute waits") << QStringLiteral("execute, cancel");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("window destroyed") << QStringLiteral("destroy");
  }
  void aRunInFlightLeavesTheWindowResponsive() {
    QFETCH(QString, ending);
    const int w = 100, h = 60;
    app::Controller c;
    OpenPicture(c, w, h);
    const Bytes original = BytesOf(Current(c));
    g_hold = true;
    g_heldRuns = 0;
    g_stoppedRuns = 0;
    auto win = std::make_unique<BalanceWindow>(c, HeldBalance);
    QSignalSpy closed(win.get(), &ToolWindow::closed);
    QVERIFY(win->Open());
    win->realtimeSwitch()->setChecked(true);
    QTRY_COMPARE(g_heldRuns.load(), 1);
    Child<QSpinBox>(win.get(), QStringLiteral("red"))->setValue(250);
    QTRY_COMPARE(g_heldRuns.load(), 2);  // the switch's run was stopped for the change's
    QCOMPARE(g_stoppedRuns.load(), 1);
    QTest::qWait(30);
    QCOMPARE(BytesOf(Current(c)), original);  // nothing finished, nothing shown

    if (ending.startsWith(QLatin1String("execute"))) {
      Click(win.get(), QStringLiteral("execute"));
      QVERIFY(win->isOpen());
      QVERIFY(!Child<QPushButton>(win.get(), QStringLiteral("execute"))->isEnabled());
      QVERIFY(!win->parameterArea()->isEnabled() && !win->realtimeSwitch()->isEnabled());
      QVERIFY(Child<QPushButton>(win.get(), QStringLiteral("cancel"))->isEnabled());
    }
    if (ending == QLatin1String("execute")) {
      g_hold = false;
      QTRY_VERIFY(!win->isOpen());
      QCOMPARE(BytesOf(Current(c)), AfterScript(w, h, "BalanceRGB 2.5 1 1 1"));
      QCOMPARE(BytesOf(c.undoImage()->chunky), original);
      QVERIFY(Child<QPushButton>(win.get(), QStringLiteral("execute"))->isEnabled());
      QCOMPARE(g_stoppedRuns.load(), 1);
      return;
    }
    if (ending.endsWith(QLatin1String("cancel"))) Click(win.get(), QStringLiteral("cancel"));
    if (ending == QLatin1String("escape")) QTest::keyClick(win.get(), Qt::Key_Escape);
    if (ending == QLatin1String("destroy")) win.reset();
    // Restored at once; the run in flight sees its stop flag (the destructor waits for that).
    QCOMPARE(BytesOf(Current(c)), original);
    QTRY_COMPARE(g_stoppedRuns.load(), 2);
    if (win) {
      QVERIFY(!win->isOpen());
      QCOMPARE(closed.count(), 1);
    }
    g_hold = false;
    QTest::qWait(30);
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.editBackup(), nullptr);
    QCOMPARE(c.undoImage(), nullptr);
  }

  void resizeKeyboardTypingAndEnter() {
    app::Controller c;
    OpenPicture(c, 3, 7);
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QCOMPARE(w.windowTitle(), QStringLiteral("Size"));
    QVERIFY(w.Open());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(!w.realtimeSwitch()->isVisible());  // a resize has no preview
    auto* width = Child<QSpinBox>(&w, QStringLiteral("width"));
    QCOMPARE(QApplication::focusWidget(), width);
    for (const char* name : {"widthDouble", "widthHalve", "height", "heightDouble", "heightHalve", "preserveAspect"}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromUtf8(name));
    }
    // Typed, the width sets the height in single precision: 27 x (7 / 3) gives 62.
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("27"));
    QCOMPARE(Child<QSpinBox>(&w, QStringLiteral("height"))->value(), 62);
    QTest::keyClick(width, Qt::Key_Return);
    QVERIFY(!w.isOpen());
    QCOMPARE(Current(c)->width, 27);
    QCOMPARE(Current(c)->height, 62);
  }

  void aWindowDestroyedWhileAFieldIsEditedGoesQuietly() {
    app::Controller c;
    OpenPicture(c, 3, 7);
    auto* w = new ResizeWindow(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w->Open());
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto* width = Child<QSpinBox>(w, QStringLiteral("width"));
    width->setFocus();
    QTest::keyClicks(width, QStringLiteral("4"));
    int heard = 0;
    connect(width, &QSpinBox::editingFinished, this, [&heard] { ++heard; });
    delete w;  // (the main window going first would do this)
    QCOMPARE(heard, 0);
    QCOMPARE(Current(c)->width, 3);
    QCOMPARE(c.editBackup(), nullptr);
  }

  void resizeFieldsFollowTheAspectWithoutChasing() {
    app::Controller c;
    OpenPicture(c, 3, 2);
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w.Open());
    auto* width = Child<QSpinBox>(&w, QStringLiteral("width"));
    auto* height = Child<QSpinBox>(&w, QStringLiteral("height"));
    QCOMPARE(width->value(), 3);
    QCOMPARE(height->value(), 2);
    QVERIFY(Child<QCheckBox>(&w, QStringLiteral("preserveAspect"))->isChecked());
    QSignalSpy heightChanges(height, &QSpinBox::valueChanged);
    width->setValue(100);
    // The height is set without its own change: were it to chase back, the width would be 99.
    QCOMPARE(height->value(), 66);
    QCOMPARE(width->value(), 100);
    QSignalSpy widthChanges(width, &QSpinBox::valueChanged);
    const struct {
      const char* button;
      int width, height;
    } steps[] = {{"widthDouble", 200, 133}, {"heightHalve", 99, 66}, {"widthHalve", 49, 32}, {"heightDouble", 96, 64}};
    for (const auto& s : steps) {
      Click(&w, QString::fromUtf8(s.button));
      QCOMPARE(width->value(), s.width);
      QCOMPARE(height->value(), s.height);
    }
    QCOMPARE(widthChanges.count() + heightChanges.count(), 0);
    Child<QCheckBox>(&w, QStringLiteral("preserveAspect"))->setChecked(false);
    Click(&w, QStringLiteral("widthDouble"));
    QCOMPARE(height->value(), 64);
    QCOMPARE(w.parameters().width, 192);
    // Opened again on another picture, the fields take its size.
    w.reject();
    OpenPicture(c, 640, 480);
    QVERIFY(w.Open());
    QCOMPARE(width->value(), 640);
    QCOMPARE(height->value(), 480);
  }

  void theFilterListHoldsTheSevenKernelsInMethodOrder() {
    const char* labels[] = {"Box", "Triangle", "Bell", "B-Spline", "Bilinear", "Lanczos", "Mitchell"};
    app::Controller c;
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(!Child<QRadioButton>(&w, QStringLiteral("method7")));
    std::set<Bytes> results;
    for (int method = 0; method < 7; ++method) {
      auto* radio = Child<QRadioButton>(&w, QStringLiteral("method%1").arg(method));
      QVERIFY(radio);
      QCOMPARE(radio->text(), QString::fromUtf8(labels[method]));
      // Executing with the method gives the resampler's result for that method.
      OpenPicture(c, 9, 7);
      image::ChunkyPtr original(image::chk_Duplicate(Current(c)));
      QVERIFY(w.Open());
      QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(radio->height() / 2, radio->height() / 2));
      QCOMPARE(w.parameters().method, method);
      Child<QSpinBox>(&w, QStringLiteral("width"))->setValue(5);  // the height follows: 3
      Click(&w, QStringLiteral("execute"));
      image::ChunkyPtr expected(image::ScaleImage(original.get(), 5, 3, method));
      QVERIFY(expected && !w.isOpen());
      QCOMPARE(BytesOf(Current(c)), BytesOf(expected.get()));
      results.insert(BytesOf(Current(c)));
    }
    QCOMPARE(results.size(), size_t{7});
  }

  void theBorderScalesIntoACanvasOfTheColour() {
    app::Controller c;
    OpenPicture(c, 4, 2);
    image::ChunkyPtr original(image::chk_Duplicate(Current(c)));
    ResizeWindow w(
        c, [] { return 0xFF336699u; }, nullptr);
    QVERIFY(w.Open());
    // The colour requester sets the colour, "From picker" takes the picker's.
    QString title;
    WhenModal([&title](QWidget* modal) {
      auto* requester = qobject_cast<QColorDialog*>(modal);
      title = modal->windowTitle();
      if (!requester) {
        modal->close();
        return;
      }
      requester->setCurrentColor(QColor::fromRgba(0x80102030));
      requester->accept();
    });
    Click(&w, QStringLiteral("borderColor"));
    QCOMPARE(title, QStringLiteral("Border color..."));
    QCOMPARE(w.borderColor(), 0x80102030u);
    Click(&w, QStringLiteral("fromPicker"));
    QCOMPARE(w.borderColor(), 0xFF336699u);

    Child<QCheckBox>(&w, QStringLiteral("borderEnable"))->setChecked(true);
    Click(&w, QStringLiteral("widthDouble"));
    Click(&w, QStringLiteral("execute"));
    const image::ChunkyImage* out = Current(c);
    QCOMPARE(out->width, 8);
    QCOMPARE(out->height, 4);
    // The picture lies unscaled in the middle, at (2, 1).
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 8; ++x) {
        uint8_t a, r, g, b, ea = 0xFF, er = 0x33, eg = 0x66, eb = 0x99;
        image::GetPixel(out, x, y, a, r, g, b);
        if (x >= 2 && x < 6 && y >= 1 && y < 3) image::GetPixel(original.get(), x - 2, y - 1, ea, er, eg, eb);
        QVERIFY2(a == ea && r == er && g == eg && b == eb, qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
      }
    }
  }

  void aFailedScaleShowsTheErrorRequesterAndTheWindowStays() {
    // The resampler takes 1- and 4-byte pixels only, so a 3-byte picture fails to scale.
    app::Controller c;
    OpenPicture(c, 30, 20, image::RGB24);
    const Bytes original = BytesOf(Current(c));
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w.Open());
    Child<QSpinBox>(&w, QStringLiteral("width"))->setValue(15);
    platform::ui::ScopedQtRequester gui;
    QStringList seen;
    WhenModal([&seen](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (!box) {
        modal->close();
        return;
      }
      seen << box->windowTitle() << box->text();
      for (QAbstractButton* b : box->buttons()) seen << b->text();
      box->buttons().front()->click();
    });
    Click(&w, QStringLiteral("execute"));
    QCOMPARE(seen,
             QStringList({QStringLiteral("Error..."), QStringLiteral("Not enough memory."), QStringLiteral("OK")}));
    QCOMPARE(BytesOf(Current(c)), original);
    QVERIFY(w.isOpen());
  }

  void theGuiRequesterAnswersWithTheButtonIndex() {
    platform::ui::QtRequester requester;
    QStringList seen;
    WhenModal([&seen](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (!box) {
        modal->close();
        return;
      }
      seen << box->windowTitle();
      for (QAbstractButton* b : box->buttons()) seen << b->text();
      seen << (box->defaultButton() == box->buttons().at(0) ? "default: first" : "default: other");
      box->buttons().at(1)->click();
    });
    QCOMPARE(requester.Ask("", "File exists", "*_Replace|Replace _All|Abort "), 1);
    QCOMPARE(seen,
             QStringList({QStringLiteral("Vistaloom request"), QStringLiteral("&Replace"),
                          QStringLiteral("Replace &All"), QStringLiteral("Abort"), QStringLiteral("default: first")}));
    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(requester.Ask("Delete...", "Sure?", "*Yes|Yes to all|Cancel"), 2);
  }

 private:
  std::unique_ptr<image::PoolScope> pool_;
};

QTEST_MAIN(ToolWindowsTest)
#include "test_tool_windows.moc"
