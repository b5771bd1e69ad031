// The tool windows under the offscreen platform: the pattern every tool window shares
// (opening only with a picture, the opened/closed signals, Realtime, Execute committing and
// every other way of closing cancelling, the keyboard) and the resize window "Size".
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest/QtTest>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/controller.h"
#include "edit/tone_ops.h"
#include "edit/ui/resize_window.h"
#include "edit/ui/tool_window.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "image/resample.h"
#include "platform/requester.h"
#include "platform/ui/qt_requester.h"

using vl::edit::ui::ResizeWindow;
using vl::edit::ui::ToolKind;
using vl::edit::ui::ToolWindow;
namespace image = vl::image;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const image::ChunkyImage* c) {
  return Bytes(c->pixels, c->pixels + image::BufferBytes(c->width, c->height, c->format));
}

// Makes a w x h picture, a different value in every byte, the controller's current picture.
void OpenPicture(vl::app::Controller& c, int w, int h, uint32_t format = image::ARGB32) {
  c.SetReader([w, h, format](const char* path) -> image::Texture* {
    image::Texture* t = image::CreateTexture(w, h, format);
    for (size_t i = 0; i < image::BufferBytes(w, h, format); ++i)
      t->chunky->pixels[i] = static_cast<uint8_t>(i * 37 + i / 5);
    t->name = path;
    return t;
  });
  QCOMPARE(c.OpenPicture("pattern"), 0);
}

const image::ChunkyImage* Current(const vl::app::Controller& c) {
  return c.currentImage()->chunky;
}

// Calls answer with the next modal window once it shows (the requester that the next step
// opens); gives up after two seconds.
void WhenModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(200);
  QObject::connect(timer, &QTimer::timeout, qApp, [timer, tries, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal && --*tries > 0) return;
    timer->stop();
    timer->deleteLater();
    if (modal) answer(modal);
  });
  timer->start(10);
}

class RecordingRequester : public vl::platform::Requester {
 public:
  RecordingRequester() { vl::platform::SetRequester(this); }
  ~RecordingRequester() override { vl::platform::SetRequester(nullptr); }
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string&, const std::string&, const std::string&) override { return 0; }
  std::vector<std::string> errors;
};

// An in-place tool window with the gains of the RGB balance as its parameters.
class BalanceWindow : public vl::edit::ui::OperationWindow<vl::edit::RGBBalanceParams> {
 public:
  explicit BalanceWindow(vl::app::Controller& c)
      : OperationWindow(c, QStringLiteral("RGB Balance"), ToolKind::kInPlace, vl::edit::ApplyRGBBalance, nullptr) {
    auto* layout = new QVBoxLayout(parameterArea());
    auto gain = [&](const char* name) {
      auto* spin = new QSpinBox(parameterArea());
      spin->setObjectName(QString::fromUtf8(name));
      spin->setRange(vl::edit::RGBBalanceParams::kChannel.min, vl::edit::RGBBalanceParams::kChannel.max);
      spin->setValue(vl::edit::RGBBalanceParams::kChannel.start);
      layout->addWidget(spin);
      connect(spin, &QSpinBox::valueChanged, this, [this] { ParametersChanged(); });
      return spin;
    };
    red_ = gain("red");
    green_ = gain("green");
  }
  vl::edit::RGBBalanceParams parameters() const override {
    vl::edit::RGBBalanceParams p;
    p.red = red_->value();
    p.green = green_->value();
    return p;
  }

 private:
  QSpinBox* red_;
  QSpinBox* green_;
};

// What RGB balance makes of a picture.
Bytes Balanced(const image::ChunkyImage* src, const vl::edit::RGBBalanceParams& p) {
  image::ChunkyPtr dst(image::chk_Create(src->width, src->height, src->format, true));
  if (!vl::edit::RunRGBBalance(*src, *dst, p, vl::edit::NeverStop())) return {};
  return BytesOf(dst.get());
}

template <typename T>
T* Child(QWidget* w, const char* name) {
  T* c = w->findChild<T*>(QString::fromUtf8(name));
  if (!c) qWarning("no child %s", name);
  return c;
}

// Selects all of a spin box's text and types text over it.
void Type(QSpinBox* spin, const QString& text) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, text);
}

}  // namespace

class ToolWindowsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { pool_ = std::make_unique<image::PoolScope>(); }
  void cleanupTestCase() { pool_.reset(); }

  void withoutAPictureNothingOpens() {
    vl::app::Controller c;
    BalanceWindow balance(c);
    ResizeWindow resize(
        c, [] { return 0u; }, nullptr);
    for (ToolWindow* w : {static_cast<ToolWindow*>(&balance), static_cast<ToolWindow*>(&resize)}) {
      QSignalSpy opened(w, &ToolWindow::opened);
      QVERIFY(!w->Open());
      QVERIFY(!w->isOpen());
      QVERIFY(!w->isVisible());
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
    vl::app::Controller c;
    OpenPicture(c, 6, 4);
    const Bytes original = BytesOf(Current(c));
    BalanceWindow w(c);
    QSignalSpy opened(&w, &ToolWindow::opened);
    QSignalSpy closed(&w, &ToolWindow::closed);
    QVERIFY(w.Open());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.Open());  // already open: raised, not opened again
    QCOMPARE(opened.count(), 1);
    QCOMPARE(closed.count(), 0);

    w.realtimeSwitch()->setChecked(true);
    Child<QSpinBox>(&w, "red")->setValue(250);
    vl::edit::RGBBalanceParams p;
    p.red = 250;
    const Bytes previewed = Balanced(c.editBackup()->chunky, p);
    QCOMPARE(BytesOf(Current(c)), previewed);
    QVERIFY(previewed != original);

    if (way == QLatin1String("execute")) QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
    if (way == QLatin1String("cancel")) QTest::mouseClick(Child<QPushButton>(&w, "cancel"), Qt::LeftButton);
    if (way == QLatin1String("enter")) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    if (way == QLatin1String("escape")) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    if (way == QLatin1String("close")) QVERIFY(w.close());

    QCOMPARE(closed.count(), 1);
    QCOMPARE(opened.count(), 1);
    QVERIFY(!w.isOpen());
    QVERIFY(!w.isVisible());
    QCOMPARE(c.editBackup(), nullptr);
    if (executes) {
      QCOMPARE(BytesOf(Current(c)), previewed);
      QVERIFY(c.undoImage());
      QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    } else {
      QCOMPARE(BytesOf(Current(c)), original);
      QCOMPARE(c.undoImage(), nullptr);
    }
  }

  void realtimeRunsThePreviewOnlyWhenOn() {
    vl::app::Controller c;
    OpenPicture(c, 5, 5);
    const Bytes original = BytesOf(Current(c));
    BalanceWindow w(c);
    QVERIFY(w.Open());
    QVERIFY(w.realtimeSwitch()->isVisible());
    QVERIFY(!w.realtimeSwitch()->isChecked());
    Child<QSpinBox>(&w, "green")->setValue(20);
    QCOMPARE(BytesOf(Current(c)), original);
    QCOMPARE(c.editBackup(), nullptr);
    // Switching it on previews the parameters as they stand.
    w.realtimeSwitch()->setChecked(true);
    vl::edit::RGBBalanceParams p;
    p.green = 20;
    QCOMPARE(BytesOf(Current(c)), Balanced(c.editBackup()->chunky, p));
    // Execute applies what the fields show, previewed or not.
    w.realtimeSwitch()->setChecked(false);
    Child<QSpinBox>(&w, "red")->setValue(300);
    p.red = 300;
    QCOMPARE(BytesOf(Current(c)), Balanced(c.editBackup()->chunky, {100, 20, 100, 100}));
    QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
    QVERIFY(c.undoImage());
    QCOMPARE(BytesOf(c.undoImage()->chunky), original);
    QCOMPARE(BytesOf(Current(c)), Balanced(c.undoImage()->chunky, p));
  }

  void keyboardStartsAtTheFirstParameterAndTabWalksThem() {
    vl::app::Controller c;
    OpenPicture(c, 3, 7);
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w.Open());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* width = Child<QSpinBox>(&w, "width");
    QCOMPARE(QApplication::focusWidget(), width);
    const char* order[] = {"widthDouble", "widthHalve", "height", "heightDouble", "heightHalve", "preserveAspect"};
    for (const char* name : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromUtf8(name));
    }
    // Typed into the width, the height follows in single precision: 27 x (7 / 3) gives 62.
    // Enter executes with the typed value.
    Type(width, QStringLiteral("27"));
    QCOMPARE(Child<QSpinBox>(&w, "height")->value(), 62);
    QTest::keyClick(width, Qt::Key_Return);
    QVERIFY(!w.isOpen());
    QCOMPARE(Current(c)->width, 27);
    QCOMPARE(Current(c)->height, 62);
  }

  void resizeFieldsFollowTheAspectWithoutChasing() {
    vl::app::Controller c;
    OpenPicture(c, 3, 2);
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QCOMPARE(w.windowTitle(), QStringLiteral("Size"));
    QVERIFY(w.Open());
    auto* width = Child<QSpinBox>(&w, "width");
    auto* height = Child<QSpinBox>(&w, "height");
    auto* aspect = Child<QCheckBox>(&w, "preserveAspect");
    QVERIFY(aspect->isChecked());
    QVERIFY(!w.realtimeSwitch()->isVisible());  // a resize has no preview
    QCOMPARE(width->value(), 3);
    QCOMPARE(height->value(), 2);
    QSignalSpy widthChanges(width, &QSpinBox::valueChanged);
    QSignalSpy heightChanges(height, &QSpinBox::valueChanged);

    width->setValue(100);
    // The height is set without its own change: were it to chase back, the width would be 99.
    QCOMPARE(height->value(), 66);
    QCOMPARE(width->value(), 100);
    QCOMPARE(heightChanges.count(), 0);
    QCOMPARE(widthChanges.count(), 1);

    struct Step {
      const char* button;
      int width, height;
    };
    const Step steps[] = {
        {"widthDouble", 200, 133},
        {"heightHalve", 99, 66},
        {"widthHalve", 49, 32},
        {"heightDouble", 96, 64},
    };
    for (const Step& s : steps) {
      QTest::mouseClick(Child<QPushButton>(&w, s.button), Qt::LeftButton);
      QCOMPARE(width->value(), s.width);
      QCOMPARE(height->value(), s.height);
    }
    QCOMPARE(widthChanges.count(), 1);
    QCOMPARE(heightChanges.count(), 0);

    aspect->setChecked(false);
    QTest::mouseClick(Child<QPushButton>(&w, "widthDouble"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(&w, "heightHalve"), Qt::LeftButton);
    QCOMPARE(width->value(), 192);
    QCOMPARE(height->value(), 32);
    QCOMPARE(w.parameters().width, 192);
    QCOMPARE(w.parameters().height, 32);

    // Opened again on another picture, the fields take its size.
    w.reject();
    OpenPicture(c, 640, 480);
    QVERIFY(w.Open());
    QCOMPARE(width->value(), 640);
    QCOMPARE(height->value(), 480);
  }

  void theFilterListHoldsTheSevenKernelsInMethodOrder() {
    const char* labels[] = {"Box", "Triangle", "Bell", "B-Spline", "Bilinear", "Lanczos", "Mitchell"};
    vl::app::Controller c;
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    std::set<Bytes> results;
    for (int method = 0; method < 7; ++method) {
      auto* radio = Child<QRadioButton>(&w, QStringLiteral("method%1").arg(method).toUtf8().constData());
      QVERIFY(radio);
      QCOMPARE(radio->text(), QString::fromUtf8(labels[method]));
      // Executing with the method gives the resampler's result for that method.
      OpenPicture(c, 9, 7);
      image::ChunkyPtr original(image::chk_Duplicate(Current(c)));
      QVERIFY(w.Open());
      QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(radio->height() / 2, radio->height() / 2));  // the indicator
      QCOMPARE(w.parameters().method, method);
      Child<QSpinBox>(&w, "width")->setValue(5);
      QCOMPARE(Child<QSpinBox>(&w, "height")->value(), 3);
      QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
      QVERIFY(!w.isOpen());
      image::ChunkyPtr expected(image::ScaleImage(original.get(), 5, 3, method));
      QVERIFY(expected);
      QCOMPARE(BytesOf(Current(c)), BytesOf(expected.get()));
      results.insert(BytesOf(Current(c)));
    }
    QCOMPARE(results.size(), size_t{7});
    QVERIFY(!w.findChild<QRadioButton*>(QStringLiteral("method7")));
  }

  void theBorderScalesIntoACanvasOfTheColour() {
    vl::app::Controller c;
    OpenPicture(c, 4, 2);
    image::ChunkyPtr original(image::chk_Duplicate(Current(c)));
    ResizeWindow w(
        c, [] { return 0xFF336699u; }, nullptr);
    QVERIFY(w.Open());
    // The colour requester sets the colour, "From picker" takes the picker's.
    WhenModal([](QWidget* modal) {
      auto* requester = qobject_cast<QColorDialog*>(modal);
      QVERIFY(requester);
      QCOMPARE(requester->windowTitle(), QStringLiteral("Border color..."));
      requester->setCurrentColor(QColor::fromRgba(0x80102030));
      requester->accept();
    });
    QTest::mouseClick(Child<QPushButton>(&w, "borderColor"), Qt::LeftButton);
    QCOMPARE(w.borderColor(), 0x80102030u);
    QTest::mouseClick(Child<QPushButton>(&w, "fromPicker"), Qt::LeftButton);
    QCOMPARE(w.borderColor(), 0xFF336699u);

    Child<QCheckBox>(&w, "borderEnable")->setChecked(true);
    QTest::mouseClick(Child<QPushButton>(&w, "widthDouble"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
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

  void aSizeThatCannotBeMadeIsRefusedAndTheWindowStays() {
    vl::app::Controller c;
    OpenPicture(c, 30, 20);
    const Bytes original = BytesOf(Current(c));
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w.Open());
    RecordingRequester requester;
    Child<QSpinBox>(&w, "width")->setValue(0);
    QCOMPARE(Child<QSpinBox>(&w, "height")->value(), 0);
    QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
    QCOMPARE(requester.errors.size(), size_t{1});
    QVERIFY(QString::fromStdString(requester.errors[0]).contains(QStringLiteral("at least 1")));
    QVERIFY(w.isOpen());
    QCOMPARE(Current(c)->width, 30);
    QCOMPARE(BytesOf(Current(c)), original);
    QTest::mouseClick(Child<QPushButton>(&w, "cancel"), Qt::LeftButton);
    QVERIFY(!w.isOpen());
    QCOMPARE(BytesOf(Current(c)), original);
  }

  void aFailedScaleShowsTheErrorRequester() {
    // The resampler takes 1- and 4-byte pixels only, so a 3-byte picture fails to scale.
    vl::app::Controller c;
    OpenPicture(c, 30, 20, image::RGB24);
    const Bytes original = BytesOf(Current(c));
    ResizeWindow w(
        c, [] { return 0u; }, nullptr);
    QVERIFY(w.Open());
    Child<QSpinBox>(&w, "width")->setValue(15);
    vl::platform::ui::ScopedQtRequester gui;
    QString title, text, buttons;
    WhenModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      for (QAbstractButton* b : box->buttons()) buttons += b->text();
      box->buttons().front()->click();
    });
    QTest::mouseClick(Child<QPushButton>(&w, "execute"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Error..."));
    QCOMPARE(text, QStringLiteral("Not enough memory."));
    QCOMPARE(buttons, QStringLiteral("OK"));
    QCOMPARE(Current(c)->width, 30);
    QCOMPARE(BytesOf(Current(c)), original);
    QVERIFY(w.isOpen());
  }

  void theGuiRequesterAnswersWithTheButtonIndex() {
    vl::platform::ui::QtRequester requester;
    QStringList seen;
    WhenModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box);
      seen << box->windowTitle();
      for (QAbstractButton* b : box->buttons()) seen << b->text();
      QCOMPARE(box->defaultButton(), box->buttons().at(0));
      box->buttons().at(1)->click();
    });
    QCOMPARE(requester.Ask("", "File exists", "*_Replace|Replace _All|Abort "), 1);
    QCOMPARE(seen, QStringList({QStringLiteral("Vistaloom request"), QStringLiteral("&Replace"),
                                QStringLiteral("Replace &All"), QStringLiteral("Abort")}));
    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(requester.Ask("Delete...", "Sure?", "*Yes|Yes to all|Cancel"), 2);
  }

 private:
  std::unique_ptr<image::PoolScope> pool_;
};

QTEST_MAIN(ToolWindowsTest)
#include "test_tool_windows.moc"
