// The start-up options: the shell template and the desktop icon's tool types.
#pragma once

#include <string>
#include <vector>

namespace vl::app {

inline constexpr const char* kCommandTemplate = "FILE/M,FS=FULLSCREEN/S,BR=BROWSER/S,3D=3DVIEW/S";
inline constexpr const char* kProgramIcon = "PROGDIR:Vistaloom.info";

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

// The path of the running program (/proc/self/exe), or argv0 when that cannot be read.
std::string ProgramPath(const char* argv0);

}  // namespace vl::app
