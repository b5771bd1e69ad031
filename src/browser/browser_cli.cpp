#include "browser/browser_cli.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <thread>

#include "browser/dir_list.h"
#include "browser/thumb_view.h"
#include "browser/volumes.h"
#include "image/pool.h"
#include "settings/settings.h"

namespace vl::browser {
namespace {

struct CliOptions {
  enum class Tool { None, List, ThumbnailScan, Volumes } tool = Tool::None;
  std::string directory;
  bool all = false;
  int sortColumn = kColumnName;
  bool reverse = false;
};

bool IsToolOption(const std::string& a) {
  return a == "--list" || a == "--thumbnail-scan" || a == "--volumes";
}

// False with a message for a usage error.
bool Parse(const std::vector<std::string>& argv, CliOptions& o, std::string& error) {
  auto setTool = [&](CliOptions::Tool t) {
    if (o.tool != CliOptions::Tool::None) {
      error = "only one of --list, --thumbnail-scan and --volumes may be given";
      return false;
    }
    o.tool = t;
    return true;
  };
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    auto value = [&](std::string& dest) {
      if (i + 1 >= argv.size()) {
        error = "option " + a + " needs an argument";
        return false;
      }
      dest = argv[++i];
      return true;
    };
    if (a == "--list") {
      if (!setTool(CliOptions::Tool::List) || !value(o.directory)) return false;
    } else if (a == "--thumbnail-scan") {
      if (!setTool(CliOptions::Tool::ThumbnailScan) || !value(o.directory)) return false;
    } else if (a == "--volumes") {
      if (!setTool(CliOptions::Tool::Volumes)) return false;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--reverse") {
      o.reverse = true;
    } else if (a == "--sort") {
      std::string s;
      if (!value(s)) return false;
      if (s == "name") {
        o.sortColumn = kColumnName;
      } else if (s == "size") {
        o.sortColumn = kColumnSize;
      } else if (s == "date") {
        o.sortColumn = kColumnDate;
      } else if (s == "type") {
        o.sortColumn = kColumnType;
      } else {
        error = "--sort takes name, size, date or type";
        return false;
      }
    } else {
      error = "unexpected argument " + a;
      return false;
    }
  }
  if ((o.all || o.reverse || o.sortColumn != kColumnName) && o.tool != CliOptions::Tool::List) {
    error = "--all, --sort and --reverse belong to --list";
    return false;
  }
  return true;
}

// Runs the timer ticks until the view's scanner has finished.
void WaitForScanner(BrowserView& view) {
  while (view.Scanning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    view.TimerTick();
  }
  view.TimerTick();
}

int RunList(const CliOptions& o, const settings::Settings& s, FILE* out, FILE* err) {
  DirList list;
  list.SetShowIconFiles(s.showIconFiles);
  list.SetShowNonImageFiles(o.all);
  list.SetSort(o.sortColumn, o.reverse);
  list.SetInitialDirectory(o.directory);
  list.LoadDirectory();
  if (!list.Complete()) {
    std::fprintf(err, "vistaloom: cannot read the directory %s\n", o.directory.c_str());
    return 1;
  }
  WaitForScanner(list);
  list.Sort();
  std::time_t now = std::time(nullptr);
  for (int i = 0; i < list.EntryCount(); ++i) {
    std::vector<std::string> cells = list.RowTexts(i, now);
    if (cells.size() != 4) continue;
    std::fprintf(out, "%s\t%s\t%s\t%s\n", cells[0].c_str(), cells[1].c_str(), cells[2].c_str(), cells[3].c_str());
  }
  return 0;
}

int RunThumbnailScan(const CliOptions& o, const settings::Settings& s, FILE* out, FILE* err) {
  ThumbView view(ThumbSettingsFrom(s));
  bool complete = false;
  view.SetLoadedCallback([&](void*, ThumbView&) { complete = true; }, nullptr);
  view.SetShown(true);
  view.SetInitialDirectory(o.directory);
  view.LoadDirectory();
  if (!complete) {
    std::fprintf(err, "vistaloom: cannot read the directory %s\n", o.directory.c_str());
    return 1;
  }
  WaitForScanner(view);
  std::lock_guard<std::recursive_mutex> lock(view.Semaphore());
  for (int i = 0; i < view.EntryCount(); ++i) {
    const ThumbEntry* e = view.GetEntry(i);
    std::fprintf(out, "%s\t%dx%d\t%s\n", e->name.c_str(), e->picture.PictureWidth(), e->picture.PictureHeight(),
                 PictureSourceName(e->source));
  }
  std::fprintf(out, "%s\n", view.StatusText().c_str());
  return 0;
}

int RunVolumes(FILE* out) {
  VolumeList volumes;
  volumes.Fill();
  for (const VolumeEntry& v : volumes.entries())
    std::fprintf(out, "%s\t%s\t%s\n", v.nameText.c_str(), v.deviceText.c_str(), v.path.c_str());
  return 0;
}

}  // namespace

const char* BrowserUsageText() {
  return "  --list DIR [--all] [--sort name|size|date|type] [--reverse]\n"
         "                  list a directory as the file browser shows it\n"
         "  --thumbnail-scan DIR  make the thumbnails of DIR as the thumbnail view does\n"
         "  --volumes       list the volumes and assigns\n";
}

bool RunBrowserCli(const std::vector<std::string>& argv, int& exitStatus) {
  settings::Settings s = settings::DefaultSettings();
  settings::LoadSettings(s);
  return RunBrowserCli(argv, s, exitStatus, stdout, stderr);
}

bool RunBrowserCli(const std::vector<std::string>& argv, const settings::Settings& s, int& exitStatus, FILE* out,
                   FILE* err) {
  bool present = false;
  for (const std::string& a : argv) {
    if (a == "--") break;
    if (IsToolOption(a)) present = true;
  }
  if (!present) return false;
  CliOptions o;
  std::string error;
  if (!Parse(argv, o, error)) {
    std::fprintf(err, "vistaloom: %s\n", error.c_str());
    exitStatus = 2;
    return true;
  }
  // The pixel pool, unless the caller already keeps one.
  std::optional<image::PoolScope> pool;
  if (!image::PoolExists()) pool.emplace();
  switch (o.tool) {
    case CliOptions::Tool::List: exitStatus = RunList(o, s, out, err); break;
    case CliOptions::Tool::ThumbnailScan: exitStatus = RunThumbnailScan(o, s, out, err); break;
    default: exitStatus = RunVolumes(out); break;
  }
  std::fflush(out);
  return true;
}

}  // namespace vl::browser
