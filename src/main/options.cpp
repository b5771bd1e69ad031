#include "main/options.h"

#include <algorithm>
#include <array>

#include "browser/browser_cli.h"
#include "platform/paths.h"
#include "platform/version.h"
#include "tools/tools_cli.h"

namespace vl::main {
namespace {

constexpr std::array<const char*, 6> kToolWords = {"--batch-convert", "--thumbnailer",    "--jpeg-transform",
                                                   "--list",          "--thumbnail-scan", "--volumes"};
// Front-end options that take a value (as the next argument unless given with '=').
constexpr std::array<const char*, 4> kValueOptions = {"--exec", "--script", "--config", "--exif"};

bool TakesValue(const std::string& a) {
  return std::find(kValueOptions.begin(), kValueOptions.end(), a) != kValueOptions.end();
}

// The first tool word before a lone "--", skipping the values of the front end's own options.
std::string FindTool(const std::vector<std::string>& argv) {
  for (size_t i = 0; i < argv.size(); ++i) {
    if (argv[i] == "--") break;
    if (IsToolWord(argv[i])) return argv[i];
    if (TakesValue(argv[i])) ++i;
  }
  return {};
}

}  // namespace

bool IsToolWord(const std::string& word) {
  return std::find(kToolWords.begin(), kToolWords.end(), word) != kToolWords.end();
}

bool ParseFrontEnd(const std::vector<std::string>& argv, FrontEndOptions& fe, std::string& error) {
  fe.tool = FindTool(argv);
  const bool withTool = !fe.tool.empty();
  bool ended = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (ended || a.size() < 2 || a.compare(0, 2, "--") != 0) {
      fe.rest.push_back(a);
      continue;
    }
    if (a == "--") {
      ended = true;
      if (withTool) fe.rest.push_back(a);
      continue;
    }
    std::string name = a, value;
    bool hasValue = false;
    size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&](std::string& dest) -> bool {
      if (hasValue) {
        dest = value;
        return true;
      }
      if (i + 1 >= argv.size()) {
        error = "option " + name + " needs an argument";
        return false;
      }
      dest = argv[++i];
      return true;
    };
    auto noValue = [&]() -> bool {
      if (hasValue) error = "option " + name + " takes no argument";
      return !hasValue;
    };
    if (name == "--headless") {
      if (!noValue()) return false;
      fe.headless = true;
    } else if (name == "--desktop") {
      if (!noValue()) return false;
      fe.desktop = true;
    } else if (name == "--help") {
      if (!noValue()) return false;
      fe.help = true;
    } else if (name == "--version") {
      if (!noValue()) return false;
      fe.version = true;
    } else if (name == "--serve") {
      if (!noValue()) return false;
      fe.serve = true;
    } else if (name == "--exec") {
      std::string cmd;
      if (!takeValue(cmd)) return false;
      fe.execs.push_back(cmd);
    } else if (name == "--script") {
      if (!takeValue(fe.scriptFile)) return false;
      fe.hasScript = true;
    } else if (name == "--config") {
      if (!takeValue(fe.configFile)) return false;
      fe.hasConfig = true;
    } else if (name == "--exif") {
      if (!takeValue(fe.exifFile)) return false;
      fe.hasExif = true;
    } else if (name == "--cache-size" || name == "--cache-clear" || name == "--cache-remove-dead") {
      if (!noValue()) return false;
      std::string action = name.substr(8);
      if (!fe.cacheAction.empty() && fe.cacheAction != action) {
        error = "only one cache option at a time";
        return false;
      }
      fe.cacheAction = action;
    } else if (withTool) {
      fe.rest.push_back(a);  // the tool's own option
    } else {
      error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

std::string UsageText() {
  return std::string(
      "Usage: vistaloom [OPTIONS] [FILE...] [FS=FULLSCREEN] [BR=BROWSER] [3D=3DVIEW]\n"
      "Template: FILE/M,FS=FULLSCREEN/S,BR=BROWSER/S,3D=3DVIEW/S\n"
      "Image viewing and manipulation utility.\n"
      "\n"
      "  FILE            picture to show first (further names are ignored)\n"
      "  FULLSCREEN, FS  open the main window on its own full screen\n"
      "  BROWSER, BR     show the directory browser beside the picture\n"
      "  3DVIEW, 3D      start in the 3D view mode\n"
      "\n"
      "  --headless      no GUI: load FILE, print the status texts, run the commands, exit\n"
      "  --exec 'CMD'    run one scripting command after the load (repeatable)\n"
      "  --script FILE   run scripting commands from FILE, one a line ('-' for standard input)\n"
      "  --serve         keep running headless and serve the scripting port\n"
      "  --config FILE   read the settings from FILE instead of ENV:Vistaloom.config\n"
      "  --exif FILE     print the EXIF information of FILE\n"
      "  --cache-size    print the size of the thumbnail cache\n"
      "  --cache-clear   empty the thumbnail cache and print its new size\n"
      "  --cache-remove-dead  remove cache files whose pictures are gone, print the new size\n"
      "  --desktop       started from the desktop: options from the program icon's tool types\n"
      "  --help          show this text\n"
      "  --version       show the version\n"
      "  --              end of options\n");
}

std::string FullHelpText() {
  return UsageText() + tools::ToolsUsageText() + browser::BrowserUsageText();
}

std::string CmdUsageText() {
  return "Usage: vistaloom-cmd [--port NAME] COMMAND [ARGS...]\n"
         "Sends one command to a running Vistaloom (or, with no command, each line of standard input)\n"
         "and prints the reply lines. The port is VISTALOOM.1 unless NAME says otherwise (a name with\n"
         "a '/' is a socket path).\n"
         "\n"
         "  --port NAME     the port to send to\n"
         "  --help          show this text\n"
         "  --version       show the version\n";
}

std::string OptionOutsideTool(const FrontEndOptions& fe) {
  if (fe.tool.empty()) return {};
  if (!fe.execs.empty()) return "--exec";
  if (fe.hasScript) return "--script";
  if (fe.serve) return "--serve";
  if (fe.desktop) return "--desktop";
  if (fe.hasExif) return "--exif";
  if (!fe.cacheAction.empty()) return "--cache-" + fe.cacheAction;
  return {};
}

app::StartupOptions ReadStartupOptions(const FrontEndOptions& fe, const std::string& programPath) {
  app::StartupOptions opts;
  opts.programPath = programPath;
  if (fe.desktop)
    app::ReadDesktopOptions(platform::ResolveForRead(app::kProgramIcon), fe.rest, opts);
  else
    app::ReadShellOptions(fe.rest, opts);
  return opts;
}

}  // namespace vl::main
