// Program start: identity strings, the start-up options (shell template, desktop icon tool
// types), the Linux front-end options, and the headless run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace vl::app {

inline constexpr const char* kAppTitle = "Vistaloom";
inline constexpr const char* kVersionString = "$VER: Vistaloom 0.8.5 (21.08.06)";
inline constexpr const char* kVersionLine = "Vistaloom 0.8.5 (21.08.06)";
inline constexpr const char* kDescription = "Image viewing and manipulation utility.";
inline constexpr const char* kBaseName = "VISTALOOM";
inline constexpr const char* kCommandTemplate = "FILE/M,FS=FULLSCREEN/S,BR=BROWSER/S,3D=3DVIEW/S";
inline constexpr const char* kProgramIcon = "PROGDIR:Vistaloom.info";

inline constexpr int kExitOk = 0;
inline constexpr int kExitLoadFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoGui = 10;

struct StartupOptions {
  bool hasInitialFile = false;
  std::string initialFile;
  bool fullScreen = false;
  bool browser = true;  // until the options are read
  bool view3D = false;
  std::string programPath;
};

// Shell start: parses args with the command template. Each switch is set to its presence,
// the first FILE becomes initialFile. When the template does not match, opts keep their
// defaults (browser on, no file) and false is returned.
bool ReadShellOptions(const std::vector<std::string>& args, StartupOptions& opts);

// Desktop start: the program icon's tool types BROWSER, FULLSCREEN and 3DVIEW set their
// option by presence alone; without a readable icon the defaults stay. The first project
// becomes initialFile (made absolute); further projects are ignored.
void ReadDesktopOptions(const std::string& iconPath, const std::vector<std::string>& projects, StartupOptions& opts);

// Options of the Linux front end ("--..."), taken out of the command line wherever they
// stand; a lone "--" ends them. What is left goes to the command template.
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
  std::vector<std::string> rest;
};
// False on a usage error, with the reason in error.
bool ParseFrontEnd(const std::vector<std::string>& argv, FrontEndOptions& fe, std::string& error);

std::string UsageText();

// The path of the running program (/proc/self/exe), or argv0 when that cannot be read.
std::string ProgramPath(const char* argv0);

// Reads the start-up options the way the program was started (shell or desktop).
StartupOptions ReadStartupOptions(const FrontEndOptions& fe, const std::string& programPath);

// The settings in use: from --config FILE, else ENV:Vistaloom.config (seeded from
// ENVARC:), else the defaults. False, with the reason in error, when --config names a
// file that cannot be read as a settings record.
bool LoadFrontEndSettings(const FrontEndOptions& fe, settings::Settings& out, std::string& error);

// The stand-alone front-end actions (--exif, the cache maintenance options). Returns
// false when none was asked for; otherwise sets exitStatus.
bool RunFrontEndAction(const FrontEndOptions& fe, int& exitStatus);

// Runs without a GUI: loads initialFile, prints the status lines on out, then runs the
// --exec commands, the --script lines and, with --serve, the scripting port until SIGINT,
// SIGTERM or "QUIT", printing one reply line per command. Returns the exit status: 1 when
// the picture could not be loaded (or the port could not be opened), 2 when the script
// cannot be read.
int RunHeadless(const FrontEndOptions& fe, const StartupOptions& opts, FILE* out, FILE* err);

}  // namespace vl::app
