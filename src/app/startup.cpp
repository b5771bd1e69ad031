#include "app/startup.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "app/status.h"
#include "formats/exif_report.h"
#include "formats/loader.h"
#include "image/pool.h"
#include "platform/icon.h"
#include "platform/paths.h"
#include "platform/readargs.h"
#include "platform/stopwatch.h"
#include "settings/maintenance.h"

namespace vl::app {

bool ReadShellOptions(const std::vector<std::string>& args, StartupOptions& opts) {
  platform::ParsedArgs parsed = platform::ReadArgs(kCommandTemplate, args);
  if (!parsed.ok) return false;
  const platform::ArgSlot& files = parsed[0];
  opts.hasInitialFile = !files.multi.empty();
  opts.initialFile = opts.hasInitialFile ? files.multi.front() : std::string();
  opts.fullScreen = parsed[1].present;
  opts.browser = parsed[2].present;
  opts.view3D = parsed[3].present;
  return true;
}

void ReadDesktopOptions(const std::string& iconPath, const std::vector<std::string>& projects, StartupOptions& opts) {
  platform::DiskObject icon;
  if (platform::GetDiskObject(iconPath, icon)) {
    opts.browser = platform::FindToolType(icon.toolTypes, "BROWSER");
    opts.fullScreen = platform::FindToolType(icon.toolTypes, "FULLSCREEN");
    opts.view3D = platform::FindToolType(icon.toolTypes, "3DVIEW");
  }
  if (!projects.empty()) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(projects.front(), ec);
    opts.initialFile = ec ? projects.front() : p.lexically_normal().string();
    if (opts.initialFile.size() > 1023) opts.initialFile = projects.front();
    opts.hasInitialFile = true;
  }
}

bool ParseFrontEnd(const std::vector<std::string>& argv, FrontEndOptions& fe, std::string& error) {
  bool ended = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (ended || a.size() < 2 || a.compare(0, 2, "--") != 0) {
      fe.rest.push_back(a);
      continue;
    }
    if (a == "--") {
      ended = true;
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

std::string ProgramPath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? std::string(argv0) : std::string();
}

StartupOptions ReadStartupOptions(const FrontEndOptions& fe, const std::string& programPath) {
  StartupOptions opts;
  opts.programPath = programPath;
  if (fe.desktop)
    ReadDesktopOptions(platform::ResolveForRead(kProgramIcon), fe.rest, opts);
  else
    ReadShellOptions(fe.rest, opts);
  return opts;
}

bool LoadFrontEndSettings(const FrontEndOptions& fe, settings::Settings& out, std::string& error) {
  if (fe.hasConfig) {
    if (!settings::LoadSettingsFile(fe.configFile, out)) {
      error = "cannot read the settings file " + fe.configFile;
      return false;
    }
    return true;
  }
  if (!settings::LoadSettings(out)) out = settings::DefaultSettings();
  return true;
}

bool RunFrontEndAction(const FrontEndOptions& fe, int& exitStatus) {
  if (fe.hasExif) {
    image::PoolScope pool;
    exitStatus = formats::PrintExifReport(fe.exifFile, stdout);
    return true;
  }
  if (!fe.cacheAction.empty()) {
    settings::Settings s;
    std::string error;
    if (!LoadFrontEndSettings(fe, s, error)) {
      std::fprintf(stderr, "vistaloom: %s\n", error.c_str());
      exitStatus = kExitUsage;
      return true;
    }
    image::PoolScope pool;
    exitStatus = settings::RunCacheMaintenance(fe.cacheAction, s, stdout);
    return true;
  }
  return false;
}

int RunHeadless(const FrontEndOptions& fe, const StartupOptions& opts, FILE* out, FILE* err) {
  image::PoolScope pool;
  if (!fe.execs.empty()) std::fputs("vistaloom: --exec is not available yet\n", err);
  if (fe.hasScript) std::fputs("vistaloom: --script is not available yet\n", err);
  if (fe.serve) std::fputs("vistaloom: --serve is not available yet\n", err);

  image::TexturePtr current;
  bool loadFailed = false;
  float loadTime = 0.0f;
  if (opts.hasInitialFile) {
    platform::LoadStopwatch().Start();
    current.reset(formats::ReadPicture(opts.initialFile.c_str()));
    loadTime = platform::LoadStopwatch().Elapsed(1.0f);
    loadFailed = !current;
  }
  StatusTexts s = MakeStatusTexts(current.get(), opts.initialFile, loadFailed, loadTime);
  std::fprintf(out, "Title: %s\nWidth: %s\nHeight: %s\nFormat: %s\nLoaded in: %s\n", s.title.c_str(),
               s.width.c_str(), s.height.c_str(), s.format.c_str(), s.loadTime.c_str());
  std::fflush(out);
  current.reset();
  return loadFailed ? kExitLoadFailed : kExitOk;
}

}  // namespace vl::app
