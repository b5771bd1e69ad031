#include "main/session.h"

#include <unistd.h>

#include <cstdio>

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
  list_.SetArrivalHook([this] { controller_.ReadAheadNeighbours(); });
  controller_.SetBrowser(&steps_);
  script::InstallHandlers(commands_, controller_);
}

Session::~Session() {
  ClosePort(0);
  controller_.SetBrowser(nullptr);
}

void Session::SetSettings(const settings::Settings& prefs) {
  settings_ = prefs;
  controller_.SetCorrectOrientation(prefs.correctOrientation);
  list_.SetShowIconFiles(prefs.showIconFiles);
  list_.SetShowNonImageFiles(prefs.showNonImageFiles);
}

void Session::OpenInitialFile(const app::StartupOptions& opts) {
  if (opts.hasInitialFile)
    controller_.OpenPicture(opts.initialFile.c_str());
  else
    controller_.UpdateStatus();
}

void Session::RefreshBrowser() {
  std::string dir = browser_.CurrentDirectory();
  if (dir.empty()) {
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return;
    dir = buf;
  }
  browser_.SetCurrentDirectory(dir);
}

script::Reply Session::Execute(std::string_view line) {
  // Commands that step or change directory act on the whole list.
  list_.WaitLoaded();
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
