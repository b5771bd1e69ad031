// The browser's headless tools:
//   --list DIR [--all] [--sort name|size|date|type] [--reverse]
//   --thumbnail-scan DIR
//   --volumes
// The program's front end takes out its own options (such as --config) before these run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace vl::browser {

// argv: the arguments after the program name. False when none of the options above is
// present (before a lone "--"); otherwise runs the tool with the settings record s and sets
// exitStatus (0 done, 1 the directory could not be read, 2 a usage error). The first form
// reads the settings in use (ENV:Vistaloom.config, else the defaults).
bool RunBrowserCli(const std::vector<std::string>& argv, int& exitStatus);
bool RunBrowserCli(const std::vector<std::string>& argv, const settings::Settings& s, int& exitStatus, FILE* out,
                   FILE* err);

// The usage lines of the options above, for --help.
const char* BrowserUsageText();

}  // namespace vl::browser
