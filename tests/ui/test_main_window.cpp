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
