// The options of the Linux front end ("--..."), taken out of the command line wherever they
// stand; a lone "--" ends them. What is left goes to the command template, or to the tool
// named on the line (the batch tools and the browser's tools have options of their own).
#pragma once

#include <string>
#include <vector>

#include "app/startup.h"

namespace vl::main {

inline constexpr int kExitOk = 0;
inline constexpr int kExitLoadFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoGui = 10;

struct FrontEndOptions {
  bool headless = false;
  bool desktop = false;
  bool help = false;
  bool version = false;
  bool serve = false;
  std::vector<std::string> execs;
  bool hasScript = false;
  std::string scriptFile;
  bool hasConfig = false;
  std::string configFile;
  bool hasExif = false;
  std::string exifFile;
  std::string cacheAction;  // "size", "clear" or "remove-dead" for the cache maintenance options
  // The first tool word on the line ("--batch-convert", "--list", ...), or empty. With a tool,
  // options the front end does not know stay in rest, in order, for the tool's own parser,
  // and so does a lone "--".
  std::string tool;
  std::vector<std::string> rest;
};

// The words that name a tool with options of its own.
bool IsToolWord(const std::string& word);

// False on a usage error, with the reason in error.
bool ParseFrontEnd(const std::vector<std::string>& argv, FrontEndOptions& fe, std::string& error);

// The front-end options that have no meaning for fe.tool ("--exec", "--serve", ...): the first
// one given, or empty when every option given goes with the tool.
std::string OptionOutsideTool(const FrontEndOptions& fe);

std::string UsageText();
// What --help prints: UsageText and the tools' options.
std::string FullHelpText();
// The usage text of vistaloom-cmd.
std::string CmdUsageText();

// Reads the start-up options the way the program was started (shell or desktop).
app::StartupOptions ReadStartupOptions(const FrontEndOptions& fe, const std::string& programPath);

}  // namespace vl::main
