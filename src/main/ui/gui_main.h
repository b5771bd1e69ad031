// The GUI front end: the application, the session and the main window, and the event loop.
#pragma once

#include "app/startup.h"
#include "main/options.h"

class QWidget;

namespace vl::main {
class Session;
}

namespace vl::main::ui {

// Serves the session's scripting port on the GUI thread between events; when a client says
// "QUIT", the replies still waiting are sent and window is closed. The polling timer belongs
// to window.
void ServePortBetweenEvents(Session& session, QWidget* window);

// Builds the application and runs the event loop; returns the exit status.
int RunGui(int argc, char** argv, const FrontEndOptions& fe, const app::StartupOptions& opts);

}  // namespace vl::main::ui
