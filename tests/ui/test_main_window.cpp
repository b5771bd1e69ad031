// The main window starts and closes under the offscreen platform.
#include <QApplication>
#include <QGroupBox>
#include <QTimer>
#include <QtTest/QtTest>

#include "app/ui/main_window.h"
#include "image/pool.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void opensWithTitle() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Vistaloom"));
    QVERIFY(w.options().browser);
    w.close();
    QVERIFY(!w.isVisible());
  }

  void settingsShowAndHideThePanelGroups() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* details = w.findChild<QGroupBox*>(QStringLiteral("details"));
    auto* picker = w.findChild<QGroupBox*>(QStringLiteral("colorPicker"));
    QVERIFY(details && picker);
    vl::settings::Settings s = vl::settings::DefaultSettings();
    s.showColorPicker = false;
    w.ApplySettings(s);
    QVERIFY(details->isVisible());
    QVERIFY(!picker->isVisible());
    s.showDetails = false;
    s.showColorPicker = true;
    w.ApplySettings(s);
    QVERIFY(!details->isVisible());
    QVERIFY(picker->isVisible());
  }

  void aNarrowWindowKeepsThePanelWhole() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY2(w.minimumSizeHint().width() <= 560, qPrintable(QString::number(w.minimumSizeHint().width())));
    w.resize(560, 500);
    QTRY_COMPARE(w.width(), 560);
    for (const char* name : {"details", "colorPicker"}) {
      auto* group = w.findChild<QGroupBox*>(QString::fromLatin1(name));
      QVERIFY(group);
      QTRY_VERIFY2(group->mapTo(&w, QPoint(group->width() - 1, 0)).x() < w.width(), name);
      QTRY_VERIFY2(group->width() >= group->minimumSizeHint().width(), name);
    }
    w.resize(1000, 600);
    QTRY_COMPARE(w.width(), 1000);
    auto* details = w.findChild<QGroupBox*>(QStringLiteral("details"));
    auto* picker = w.findChild<QGroupBox*>(QStringLiteral("colorPicker"));
    QTRY_COMPARE(details->y(), picker->y());  // side by side again
  }

  void eventLoopQuits() {
    vl::app::StartupOptions opts;
    vl::app::Controller controller;
    vl::app::ui::MainWindow w(controller, opts);
    w.show();
    QTimer::singleShot(50, qApp, &QApplication::quit);
    QCOMPARE(qApp->exec(), 0);
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
