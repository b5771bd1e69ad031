#include "app/startup.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "formats/icon.h"
#include "platform/readargs.h"

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

std::string ProgramPath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? std::string(argv0) : std::string();
}

}  // namespace vl::app
