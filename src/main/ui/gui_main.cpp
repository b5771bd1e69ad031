#include "main/ui/gui_main.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/ui/main_window.h"
#include "app/window_state.h"
#include "display/ui/monitor_profile.h"
#include "display/ui/preview.h"
#include "image/colour_management.h"
#include "image/pool.h"
#include "main/session.h"
#include "main/ui/window_table.h"
#include "platform/paths.h"
#include "platform/ui/qt_main_thread_queue.h"
#include "platform/ui/qt_requester.h"
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

// VISTALOOM_SCREENSHOT=OUT.png: once the first picture is rendered, save a picture of the
// main window there and quit (scripts/screenshot uses this); with
// VISTALOOM_SCREENSHOT_WINDOW=NAME, of that window (WindowTable::WindowNames) instead.
// Exit status 1 when the picture could not be saved or the rendering never finished.
void ArmScreenshot(MainWindow& window, WindowTable& windows, const QString& out, const std::string& name) {
  auto save = [&window, &windows, out, name] {
    window.preview()->WaitRendered();
    QWidget* shown = name.empty() ? &window : windows.OpenByName(name);
    if (!shown) {
      std::string names;
      for (const std::string& n : windows.WindowNames()) names += " " + n;
      std::fprintf(stderr, "vistaloom: no window %s to take a picture of (windows:%s)\n", name.c_str(), names.c_str());
      QApplication::exit(1);
      return;
    }
    // A moment for the window to lay itself out and paint (a modal one opens from the loop);
    // VISTALOOM_SCREENSHOT_DELAY=MS waits longer, for the browser's thumbnails.
    int delay = 500;
    if (const char* d = std::getenv("VISTALOOM_SCREENSHOT_DELAY"); d && *d) {
      char* end = nullptr;
      const long ms = std::strtol(d, &end, 10);
      if (*end == '\0' && ms >= 0 && ms <= 60000) delay = static_cast<int>(ms);
    }
    QTimer::singleShot(delay, &window, [shown, out] {
      QWidget* target = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : shown;
      if (QWidget* active = QApplication::activeWindow(); active && target == shown) target = active;
      const bool ok = target->grab().save(out, "PNG");
      if (!ok) std::fprintf(stderr, "vistaloom: cannot write %s\n", out.toLocal8Bit().constData());
      QApplication::exit(ok ? 0 : 1);
    });
  };
  // The rendering finishes on the task's thread; its last redraw request arrives through
  // the event queue, after which the window is painted with the finished buffer.
  auto once = std::make_shared<bool>(false);
  QObject::connect(window.preview(), &display::ui::PreviewClass::rendered, &window, [save, once] {
    if (*once) return;
    *once = true;
    QTimer::singleShot(0, save);
  });
  QTimer::singleShot(60000, &window, [] {
    std::fputs("vistaloom: the picture was not rendered in time\n", stderr);
    QApplication::exit(1);
  });
}
}  // namespace

void ServePortBetweenEvents(Session& session, QWidget* window, std::function<bool()> busy) {
  // The poll itself never waits, so the window stays responsive; one command runs at a time.
  auto* timer = new QTimer(window);
  QObject::connect(timer, &QTimer::timeout, window, [&session, window, busy] {
    session.SetBusy(busy && busy());
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
  // What the display and the thumbnails convert pictures with a profile to.
  image::SetMonitorProfile(display::ui::ReadMonitorProfile());
  platform::ui::ScopedQtRequester requester;
  Session session(prefs);
  session.SetConfigFile(fe.hasConfig ? fe.configFile : std::string());
  int status = 0;
  {
    // The picture opens before its directory is listed; stepping finds its neighbours read.
    session.SetMainThreadQueue(&platform::ui::GuiQueue());
    session.EnableQuickViews(&platform::ui::GuiQueue());
    session.EnableReadAhead(true);
    MainWindow window(session.controller(), opts);
    WindowTable windows(session, window);
    window.ApplySettings(session.settings());
    QObject::connect(&windows, &WindowTable::settingsApplied, &window,
                     [&window, &session] { window.ApplySettings(session.settings()); });
    const char* shot = std::getenv("VISTALOOM_SCREENSHOT");
    const bool screenshot = shot && *shot;
    // A screenshot shows the program as it starts, not as this user left it.
    if (!screenshot) window.ApplyWindowState(app::LoadWindowState());
    if (screenshot) {
      const char* name = std::getenv("VISTALOOM_SCREENSHOT_WINDOW");
      ArmScreenshot(window, windows, QString::fromLocal8Bit(shot), name ? name : "");
    }
    if (session.OpenPort(std::string(), &error))
      ServePortBetweenEvents(session, &window, [&windows] { return windows.Busy(); });
    else
      std::fprintf(stderr, "vistaloom: cannot open the scripting port: %s\n", error.c_str());
    window.Start();
    session.ShowStartDirectory(opts);
    status = app.exec();
    if (!screenshot && !app::SaveWindowState(window.CurrentWindowState()))
      std::fprintf(stderr, "vistaloom: cannot write %s\n", platform::ResolvePath(app::kWindowStateFile).c_str());
  }
  return status;
}

}  // namespace vl::main::ui
