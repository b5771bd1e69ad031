// The GUI front end: the application, the session and the main window, and the event loop.
#pragma once

#include <functional>

#include "app/startup.h"
#include "main/options.h"

class QWidget;

namespace vl::main {
class Session;
}

namespace vl::main::ui {

// Serves the session's scripting port on the GUI thread between events; when a client says
// "QUIT", the replies still waiting are sent and window is closed. The polling timer belongs
// to window. While busy() answers true, the commands that would change the picture are refused.
void ServePortBetweenEvents(Session& session, QWidget* window, std::function<bool()> busy = {});

// Builds the application and runs the event loop; returns the exit status.
int RunGui(int argc, char** argv, const FrontEndOptions& fe, const app::StartupOptions& opts);

}  // namespace vl::main::ui
