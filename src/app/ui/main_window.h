#pragma once

#include <QMainWindow>

#include "app/startup.h"

namespace vl::app::ui {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(const StartupOptions& opts, QWidget* parent = nullptr);

  const StartupOptions& options() const { return options_; }

 private:
  StartupOptions options_;
};

}  // namespace vl::app::ui
