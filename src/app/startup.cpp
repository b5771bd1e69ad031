#include "app/startup.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "app/controller.h"
#include "app/status.h"
#include "browser/browser.h"
#include "browser/browser_step_list.h"
#include "browser/dir_list.h"
#include "formats/exif_report.h"
#include "formats/icon.h"
#include "formats/loader.h"
#include "image/pool.h"
#include "platform/paths.h"
#include "platform/readargs.h"
#include "platform/stopwatch.h"
#include "script/commands.h"
#include "script/handlers.h"
#include "script/port_server.h"
#include "thumbs/maintenance.h"

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
  formats::DiskObject icon;
  if (formats::GetDiskObject(iconPath, icon)) {
    opts.browser = formats::FindToolType(icon.toolTypes, "BROWSER");
    opts.fullScreen = formats::FindToolType(icon.toolTypes, "FULLSCREEN");
    opts.view3D = formats::FindToolType(icon.toolTypes, "3DVIEW");
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

namespace {

volatile sig_atomic_t g_stopServing = 0;
extern "C" void OnStopSignal(int) {
  g_stopServing = 1;
}

void PrintReply(const script::Reply& reply, FILE* out) {
  std::fflush(stdout);  // diagnostics of the handler come first
  std::fprintf(out, "%s\n", script::FormatReply(reply).c_str());
  std::fflush(out);
}

// Runs the lines of a script: blank lines and lines starting with '#' are skipped; a line
// over the limit is answered with an error and skipped. False when the file cannot be read.
bool RunScript(const std::string& file, script::CommandPort& port, FILE* out) {
  FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) return false;
  std::string line;
  bool tooLong = false;
  auto finish = [&]() {
    if (tooLong) {
      PrintReply(script::AnswerText(script::kRcBadLine, "line too long"), out);
    } else {
      size_t first = line.find_first_not_of(" \t\r");
      if (first != std::string::npos && line[first] != '#') PrintReply(port.Execute(line), out);
    }
    line.clear();
    tooLong = false;
  };
  int ch;
  while (!port.QuitRequested() && (ch = std::fgetc(in)) != EOF) {
    if (ch == '\n') {
      finish();
      continue;
    }
    if (tooLong) continue;
    if (line.size() >= script::kMaxLineBytes) {
      tooLong = true;
      line.clear();
      continue;
    }
    line += static_cast<char>(ch);
  }
  if (!port.QuitRequested() && (!line.empty() || tooLong)) finish();
  if (in != stdin) std::fclose(in);
  return true;
}

// Serves the port until SIGINT, SIGTERM or "QUIT".
bool Serve(script::CommandPort& port, FILE* err) {
  script::PortServer server;
  std::string error;
  if (!server.Open(&error)) {
    std::fprintf(err, "vistaloom: cannot open the scripting port: %s\n", error.c_str());
    return false;
  }
  std::fprintf(err, "vistaloom: serving the scripting port %s (%s)\n", server.name().c_str(), server.path().c_str());
  std::fflush(err);

  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  sigprocmask(SIG_BLOCK, &block, &old);
  struct sigaction sa {
  }, oldInt{}, oldTerm{};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  sigset_t waitMask = old;
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  g_stopServing = 0;

  auto dispatch = [&port](std::string_view line) {
    script::Reply r = port.Execute(line);
    std::fflush(stdout);
    return script::FormatReply(r);
  };
  while (!g_stopServing && !port.QuitRequested()) server.Poll(1000, dispatch, &waitMask);
  server.FlushPending(1000);
  server.Close();

  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return true;
}

}  // namespace

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
    exitStatus = thumbs::RunCacheMaintenance(fe.cacheAction, s.cachePath, stdout);
    return true;
  }
  return false;
}

int RunHeadless(const FrontEndOptions& fe, const StartupOptions& opts, FILE* out, FILE* err) {
  image::PoolScope pool;
  int status = kExitOk;
  settings::Settings prefs;
  std::string error;
  if (!LoadFrontEndSettings(fe, prefs, error)) {
    std::fprintf(err, "vistaloom: %s\n", error.c_str());
    return kExitUsage;
  }
  {
    Controller controller;
    controller.SetCorrectOrientation(prefs.correctOrientation);
    browser::DirList list;
    list.SetShowIconFiles(prefs.showIconFiles);
    list.SetShowNonImageFiles(prefs.showNonImageFiles);
    browser::DirBrowser dirBrowser(&list);
    dirBrowser.SetOpenCallback([&controller](const std::string& path) { controller.OpenPicture(path.c_str()); });
    browser::BrowserStepList listing(dirBrowser);
    controller.SetBrowser(&listing);
    script::CommandPort port;
    script::InstallHandlers(port, controller);

    if (opts.hasInitialFile)
      controller.OpenPicture(opts.initialFile.c_str());
    else
      controller.UpdateStatus();
    const StatusTexts& s = controller.status();
    std::fprintf(out, "Title: %s\nWidth: %s\nHeight: %s\nFormat: %s\nLoaded in: %s\n", s.title.c_str(), s.width.c_str(),
                 s.height.c_str(), s.format.c_str(), s.loadTime.c_str());
    std::fflush(out);
    if (controller.loadFailed()) status = kExitLoadFailed;

    for (const std::string& cmd : fe.execs) {
      if (port.QuitRequested()) break;
      PrintReply(port.Execute(cmd), out);
    }
    if (fe.hasScript && !port.QuitRequested() && !RunScript(fe.scriptFile, port, out)) {
      std::fprintf(err, "vistaloom: cannot read the script %s\n", fe.scriptFile.c_str());
      return kExitUsage;
    }
    if (fe.serve && !port.QuitRequested() && !Serve(port, err)) status = kExitLoadFailed;
  }
  return status;
}

}  // namespace vl::app
