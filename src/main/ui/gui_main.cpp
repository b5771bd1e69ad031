#include "main/ui/gui_main.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ui/main_window.h"
#include "display/ui/preview.h"
#include "image/pool.h"
#include "main/session.h"
#include "platform/version.h"

namespace vl::main::ui {

using app::ui::MainWindow;

namespace {
bool HaveDisplay() {
  auto set = [](const char* n) {
    const char* v = std::getenv(n);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// VISTALOOM_SCREENSHOT=OUT.png: once the first picture is rendered, save the window's
// contents there and quit (scripts/screenshot uses this). Exit status 1 when the picture
// could not be saved or the rendering never finished.
void ArmScreenshot(MainWindow& window, const QString& out) {
  auto save = [&window, out] {
    window.preview()->WaitRendered();
    const bool ok = window.grab().save(out, "PNG");
    if (!ok) std::fprintf(stderr, "vistaloom: cannot write %s\n", out.toLocal8Bit().constData());
    QApplication::exit(ok ? 0 : 1);
  };
  // The rendering finishes on the task's thread; its last redraw request arrives through
  // the event queue, after which the window is painted with the finished buffer.
  QObject::connect(window.preview(), &display::ui::PreviewClass::rendered, &window,
                   [save] { QTimer::singleShot(0, save); });
  QTimer::singleShot(60000, &window, [] {
    std::fputs("vistaloom: the picture was not rendered in time\n", stderr);
    QApplication::exit(1);
  });
}
}  // namespace

void ServePortBetweenEvents(Session& session, QWidget* window) {
  // The poll itself never waits, so the window stays responsive; one command runs at a time.
  auto* timer = new QTimer(window);
  QObject::connect(timer, &QTimer::timeout, window, [&session, window] {
    session.ServePort(0);
    if (session.QuitRequested()) {
      session.ClosePort(1000);
      window->close();
    }
  });
  timer->start(20);
}

int RunGui(int argc, char** argv, const FrontEndOptions& fe, const app::StartupOptions& opts) {
  if (!HaveDisplay()) {
    std::fputs("Can't open the GUI: no display (try --headless)\n", stdout);
    return kExitNoGui;
  }
  settings::Settings prefs;
  std::string error;
  if (!Session::LoadSettings(fe, prefs, error)) {
    std::fprintf(stderr, "vistaloom: %s\n", error.c_str());
    return kExitUsage;
  }
  image::PoolScope pool;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
  QApplication::setApplicationVersion(QString::fromUtf8(kVersion));
  Session session(prefs);
  int status = 0;
  {
    MainWindow window(session.controller(), opts);
    window.ApplySettings(session.settings());
    const char* shot = std::getenv("VISTALOOM_SCREENSHOT");
    if (shot && *shot) ArmScreenshot(window, QString::fromLocal8Bit(shot));
    if (session.OpenPort(std::string(), &error))
      ServePortBetweenEvents(session, &window);
    else
      std::fprintf(stderr, "vistaloom: cannot open the scripting port: %s\n", error.c_str());
    window.Start();
    status = app.exec();
  }
  return status;
}

}  // namespace vl::main::ui
