#include "main/session.h"

#include <unistd.h>

#include <cstdio>

#include "platform/paths.h"
#include "script/handlers.h"

namespace vl::main {

bool Session::LoadSettings(const FrontEndOptions& fe, settings::Settings& out, std::string& error) {
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

Session::Session(const settings::Settings& prefs) : browser_(&list_), steps_(browser_) {
  SetSettings(prefs);
  browser_.SetOpenCallback([this](const std::string& path) {
    // The row of the picture just opened, selected when the list arrived, is not read again.
    if (controller_.currentImage() && steps_.TakeAlreadyOpen(path)) return;
    controller_.OpenPicture(path.c_str());
  });
  // A file turned in place while it is shown is read again.
  browser_.SetFileChangedCallback([this](const std::string& path) {
    if (!controller_.currentPath().empty() &&
        platform::ResolvePath(path) == platform::ResolvePath(controller_.currentPath()))
      controller_.OpenPicture(path.c_str());
  });
  list_.SetArrivalHook([this] {
    browser_.EntriesArrived();
    controller_.ReadAheadNeighbours();
  });
  controller_.SetBrowser(&steps_);
  script::InstallHandlers(commands_, controller_);
}

Session::~Session() {
  ClosePort(0);
  controller_.SetBrowser(nullptr);
}

void Session::SetSettings(const settings::Settings& prefs) {
  const bool listChanged =
      prefs.showIconFiles != settings_.showIconFiles || prefs.showNonImageFiles != settings_.showNonImageFiles;
  browser::ThumbViewSettings grid = browser::ThumbSettingsFrom(prefs);
  grid.cachePath = thumbs_ ? thumbs_->settings().cachePath : grid.cachePath;  // taken at the next start
  const bool gridChanged = thumbs_ && !(grid == thumbs_->settings());
  settings_ = prefs;
  controller_.SetCorrectOrientation(prefs.correctOrientation);
  list_.SetShowIconFiles(prefs.showIconFiles);
  list_.SetShowNonImageFiles(prefs.showNonImageFiles);
  if (gridChanged) thumbs_->SetSettings(grid);
  // The shown directory is read again with the new switches and thumbnail box.
  if ((listChanged || gridChanged) && !browser_.CurrentDirectory().empty())
    browser_.SetCurrentDirectory(browser_.CurrentDirectory());
}

browser::ThumbView& Session::thumbs() {
  if (!thumbs_) thumbs_ = std::make_unique<browser::ThumbView>(browser::ThumbSettingsFrom(settings_));
  return *thumbs_;
}

void Session::UseThumbnails(bool on) {
  if (on == UsingThumbnails()) return;
  browser::ThumbView& grid = thumbs();
  list_.SetShown(!on);
  grid.SetShown(on);
  browser_.SetView(on ? static_cast<browser::BrowserView*>(&grid) : &list_);
}

void Session::ShowStartDirectory(const app::StartupOptions& opts) {
  if (!browser_.CurrentDirectory().empty()) return;
  std::string dir;
  if (opts.hasInitialFile) {
    const std::string file = platform::AbsolutePath(opts.initialFile);
    dir = std::string(platform::PathPart(file));
    if (dir.empty() && !file.empty() && file[0] == '/') dir = "/";
  }
  if (dir.empty()) {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return;
    dir = cwd;
  }
  browser_.SetCurrentDirectory(dir);
}

void Session::OpenInitialFile(const app::StartupOptions& opts) {
  if (opts.hasInitialFile)
    controller_.OpenPicture(opts.initialFile.c_str());
  else
    controller_.UpdateStatus();
}

script::Reply Session::Execute(std::string_view line) {
  // Commands that open, step or change directory act on the whole list; the others need not
  // wait for a big directory to be read and typed.
  if (script::CommandPort::UsesFileList(line)) list_.WaitLoaded();
  // Scripts see the full picture, never a quick stand-in.
  controller_.FinishFullPicture();
  script::Reply r = commands_.Execute(line);
  std::fflush(stdout);
  return r;
}

bool Session::OpenPort(const std::string& socketPath, std::string* error) {
  if (PortOpen()) return true;
  auto server = std::make_unique<script::PortServer>();
  const bool ok = socketPath.empty() ? server->Open(error) : server->OpenPath(socketPath, error);
  if (!ok) return false;
  server_ = std::move(server);
  return true;
}

bool Session::ServePort(int timeoutMs, const sigset_t* waitMask) {
  if (!PortOpen()) return true;
  auto dispatch = [this](std::string_view line) { return script::FormatReply(Execute(line)); };
  return server_->Poll(timeoutMs, dispatch, waitMask);
}

void Session::ClosePort(int flushMs) {
  if (!server_) return;
  if (flushMs > 0) server_->FlushPending(flushMs);
  server_->Close();
  server_.reset();
}

}  // namespace vl::main
