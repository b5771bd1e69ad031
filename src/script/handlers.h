// The handlers of the 24 scripting commands: each converts its argument slots, checks them
// and calls the controller or the apply step that the matching tool window uses.
#pragma once

#include "app/controller.h"
#include "script/commands.h"

namespace vl::script {

// The keyword tables (compared exactly; case matters). -1 when the text matches none.
int ScaleMethodKeyword(const char* text);    // box triangle bell spline lanczos mitchell
int ChannelModeKeyword(const char* text);    // alpha color coloralpha
int SelectiveModeKeyword(const char* text);  // alpha color
int TextDirectionKeyword(const char* text);  // topbottom 1, bottomtop 2, else 0
int TextOriginKeyword(const char* text);     // lefttop 0, righttop 1, leftbottom 2, rightbottom 3

// Installs every handler of the table, working on controller.
void InstallHandlers(CommandPort& port, app::Controller& controller);

}  // namespace vl::script
