#include "main/session.h"

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
  browser_.SetOpenCallback([this](const std::string& path) { controller_.OpenPicture(path.c_str()); });
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

script::Reply Session::Execute(std::string_view line) {
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
