// The front end without a GUI: the stand-alone actions and the headless run.
#pragma once

#include <cstdio>

#include "app/startup.h"
#include "main/options.h"

namespace vl::main {

// The stand-alone front-end actions (--exif, the cache maintenance options). Returns
// false when none was asked for; otherwise sets exitStatus.
bool RunFrontEndAction(const FrontEndOptions& fe, int& exitStatus);

// Runs without a GUI: loads initialFile, prints the status lines on out, then runs the
// --exec commands, the --script lines and, with --serve, the scripting port until SIGINT,
// SIGTERM or "QUIT", printing one reply line per command. Returns the exit status: 1 when
// the picture could not be loaded (or the port could not be opened), 2 when the script
// cannot be read or the settings file named by --config cannot be read.
int RunHeadless(const FrontEndOptions& fe, const app::StartupOptions& opts, FILE* out, FILE* err);

}  // namespace vl::main
