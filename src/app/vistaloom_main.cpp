// The program: the Qt GUI, or the headless mode with --headless.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "browser/browser_cli.h"
#include "tools/tools_cli.h"

#ifdef VISTALOOM_WITH_GUI
#include "app/ui/gui_main.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // The batch tools have options of their own, which the front-end parser does not know.
  if (int status = 0; vl::tools::RunToolsCli(args, status)) return status;
  // So have the browser's tools.
  if (int status = 0; vl::browser::RunBrowserCli(args, status)) return status;
  vl::app::FrontEndOptions fe;
  std::string error;
  if (!vl::app::ParseFrontEnd(args, fe, error)) {
    std::fprintf(stderr, "vistaloom: %s\n%s", error.c_str(), vl::app::UsageText().c_str());
    return vl::app::kExitUsage;
  }
  if (fe.help) {
    std::fputs(vl::app::UsageText().c_str(), stdout);
    std::fputs(vl::tools::ToolsUsageText(), stdout);
    std::fputs(
        "  --list DIR [--all] [--sort name|size|date|type] [--reverse]\n"
        "                  list a directory as the file browser shows it\n"
        "  --thumbnail-scan DIR  make the thumbnails of DIR as the thumbnail view does\n"
        "  --volumes       list the volumes and assigns\n",
        stdout);
    return vl::app::kExitOk;
  }
  if (fe.version) {
    std::printf("%s\n", vl::app::kVersionLine);
    return vl::app::kExitOk;
  }
  int status = 0;
  if (vl::app::RunFrontEndAction(fe, status)) return status;
  vl::app::StartupOptions opts = vl::app::ReadStartupOptions(fe, vl::app::ProgramPath(argv[0]));
  if (fe.headless || fe.serve) return vl::app::RunHeadless(fe, opts, stdout, stderr);
#ifdef VISTALOOM_WITH_GUI
  return vl::app::ui::RunGui(argc, argv, fe, opts);
#else
  std::fputs("vistaloom: built without the GUI; use --headless\n", stderr);
  return vl::app::kExitNoGui;
#endif
}
