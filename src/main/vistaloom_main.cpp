// The program: the Qt GUI, the headless mode with --headless, or one of the tools.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "browser/browser_cli.h"
#include "main/headless.h"
#include "main/install_files.h"
#include "main/options.h"
#include "main/session.h"
#include "platform/version.h"
#include "tools/tools_cli.h"

#ifdef VISTALOOM_WITH_GUI
#include "main/ui/gui_main.h"
#endif

namespace {

// A tool named on the line, with the front end's options already taken out.
int RunTool(const vl::main::FrontEndOptions& fe) {
  const std::string outside = vl::main::OptionOutsideTool(fe);
  if (!outside.empty()) {
    std::fprintf(stderr, "vistaloom: option %s does not go with %s\n", outside.c_str(), fe.tool.c_str());
    return vl::main::kExitUsage;
  }
  int status = 0;
  if (vl::tools::RunToolsCli(fe.rest, status)) return status;
  vl::settings::Settings prefs;
  std::string error;
  if (!vl::main::Session::LoadSettings(fe, prefs, error)) {
    std::fprintf(stderr, "vistaloom: %s\n", error.c_str());
    return vl::main::kExitUsage;
  }
  if (vl::browser::RunBrowserCli(fe.rest, prefs, status, stdout, stderr)) return status;
  return vl::main::kExitUsage;  // not reached: every tool word belongs to one of the two
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vl::main::FrontEndOptions fe;
  std::string error;
  if (!vl::main::ParseFrontEnd(args, fe, error)) {
    std::fprintf(stderr, "vistaloom: %s\n%s", error.c_str(), vl::main::UsageText().c_str());
    return vl::main::kExitUsage;
  }
  if (fe.version) {
    std::printf("%s\n", vl::kVersionLine);
    return vl::main::kExitOk;
  }
  // The batch tools print their own help; the browser's tools have none of their own.
  const bool batchTool = fe.tool == "--batch-convert" || fe.tool == "--thumbnailer" || fe.tool == "--jpeg-transform";
  if (fe.help && !batchTool) {
    std::fputs(vl::main::FullHelpText().c_str(), stdout);
    return vl::main::kExitOk;
  }
  // The program runs without its shipped data (no default icons), but says where it looked.
  const std::string missing = vl::main::MissingDataMessage();
  if (!missing.empty()) std::fputs(missing.c_str(), stderr);
  if (!fe.tool.empty()) {
    if (fe.help) fe.rest.push_back("--help");  // only for a batch tool, see above
    return RunTool(fe);
  }
  int status = 0;
  if (vl::main::RunFrontEndAction(fe, status)) return status;
  vl::app::StartupOptions opts = vl::main::ReadStartupOptions(fe, vl::app::ProgramPath(argv[0]));
  if (fe.headless || fe.serve) return vl::main::RunHeadless(fe, opts, stdout, stderr);
#ifdef VISTALOOM_WITH_GUI
  return vl::main::ui::RunGui(argc, argv, fe, opts);
#else
  std::fputs("vistaloom: built without the GUI; use --headless\n", stderr);
  return vl::main::kExitNoGui;
#endif
}
