// The main window starts and closes under the offscreen platform.
#include <QApplication>
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
