#pragma once

#include "app/startup.h"

namespace vl::app::ui {

// Builds the application and runs the event loop; returns the exit status.
int RunGui(int argc, char** argv, const FrontEndOptions& fe, const StartupOptions& opts);

}  // namespace vl::app::ui
