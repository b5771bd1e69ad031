// The browser's headless tools:
//   --list DIR [--all] [--sort name|size|date|type] [--reverse]
//   --thumbnail-scan DIR
//   --volumes
// (--config FILE reads the settings from FILE instead of ENV:Vistaloom.config.)
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vl::browser {

// argv: the arguments after the program name. False when none of the options above is
// present (before a lone "--"); otherwise runs the tool and sets exitStatus (0 done,
// 1 the directory could not be read, 2 a usage error).
bool RunBrowserCli(const std::vector<std::string>& argv, int& exitStatus);
bool RunBrowserCli(const std::vector<std::string>& argv, int& exitStatus, FILE* out, FILE* err);

}  // namespace vl::browser
