#include "app/ui/main_window.h"

#include <QLabel>

namespace vl::app::ui {

MainWindow::MainWindow(const StartupOptions& opts, QWidget* parent) : QMainWindow(parent), options_(opts) {
  setWindowTitle(QString::fromUtf8(kAppTitle));
  auto* label = new QLabel(this);
  label->setAlignment(Qt::AlignCenter);
  setCentralWidget(label);
  resize(800, 600);
}

}  // namespace vl::app::ui
