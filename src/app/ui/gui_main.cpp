#include "app/ui/gui_main.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/ui/main_window.h"
#include "image/pool.h"

namespace vl::app::ui {

namespace {
bool HaveDisplay() {
  auto set = [](const char* n) {
    const char* v = std::getenv(n);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}
}  // namespace

int RunGui(int argc, char** argv, const FrontEndOptions&, const StartupOptions& opts) {
  if (!HaveDisplay()) {
    std::fputs("Can't open the GUI: no display (try --headless)\n", stdout);
    return kExitNoGui;
  }
  image::PoolScope pool;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
  QApplication::setApplicationVersion(QStringLiteral("0.8.5"));
  MainWindow window(opts);
  window.show();
  return app.exec();
}

}  // namespace vl::app::ui
