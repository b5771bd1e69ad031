// What a running program has, for both front ends: the settings record, the controller with
// its picture, the browser's list that the controller steps through, the scripting port's
// command table with every handler installed, and (when opened) the port's socket.
//
// The headless front end and the GUI each create one Session and drive it; neither wires
// these parts itself. Everything here runs on the main thread. The GUI hands the session
// its main-thread queue, and the browser's list then reads directories in the background;
// without one (the headless front end) they are read at once.
#pragma once

#include <signal.h>

#include <memory>
#include <string>
#include <string_view>

#include "app/browser_step_list.h"
#include "app/controller.h"
#include "app/startup.h"
#include "browser/browser.h"
#include "browser/dir_list.h"
#include "browser/thumb_view.h"
#include "main/options.h"
#include "platform/main_thread_queue.h"
#include "script/commands.h"
#include "script/port_server.h"
#include "settings/settings.h"

namespace vl::main {

class Session {
 public:
  // The settings in use: from --config FILE, else ENV:Vistaloom.config (seeded from
  // ENVARC:), else the defaults. False, with the reason in error, when --config names a
  // file that cannot be read as a settings record.
  static bool LoadSettings(const FrontEndOptions& fe, settings::Settings& out, std::string& error);

  explicit Session(const settings::Settings& prefs);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const settings::Settings& settings() const { return settings_; }
  // The file named by --config (empty without it): the settings window writes the settings
  // in use there instead of "ENV:Vistaloom.config".
  const std::string& configFile() const { return configFile_; }
  void SetConfigFile(const std::string& path) { configFile_ = path; }
  // Takes a new settings record and hands its values to the parts that follow them
  // (orientation correction, the list's switches).
  void SetSettings(const settings::Settings& prefs);

  app::Controller& controller() { return controller_; }
  browser::DirList& list() { return list_; }
  browser::DirBrowser& browser() { return browser_; }
  // The thumbnail grid's view, made from the settings on first use (its scanner is a thread).
  browser::ThumbView& thumbs();
  // Which view the browser shows and the controller steps through: the file list (at
  // first) or the thumbnail grid. The directory and the active entry stay.
  void UseThumbnails(bool on);
  bool UsingThumbnails() const { return thumbs_ && browser_.view() == thumbs_.get(); }
  // Points the browser at the directory of the first FILE when opening it did not (it
  // failed), else at the current directory, unless it already shows one.
  void ShowStartDirectory(const app::StartupOptions& opts);
  script::CommandPort& commands() { return commands_; }

  // Directories are read on a worker and their rows handed over through queue (which
  // outlives the session); null reads them on the calling thread.
  void SetMainThreadQueue(platform::MainThreadQueue* queue) { list_.SetMainThreadQueue(queue); }
  // The pictures around the shown one are read ahead (off until enabled).
  void EnableReadAhead(bool on) { controller_.EnableReadAhead(on); }
  void EnableReadAheadOnStep() { controller_.EnableReadAheadOnStep(); }
  // Pictures opened show a quick stand-in first (a camera RAW's preview) and their full
  // picture when the worker has read it, through queue (which outlives the session).
  void EnableQuickViews(platform::MainThreadQueue* queue) { controller_.EnableQuickViews(queue); }

  // Opens the first FILE of the options, or only builds the status texts without one.
  void OpenInitialFile(const app::StartupOptions& opts);

  // Runs one request line through the command table, after the browser's list has its rows.
  // What the handler printed is flushed before the call returns, so it comes before the
  // reply on a shared output.
  script::Reply Execute(std::string_view line);
  // "QUIT" was answered.
  bool QuitRequested() const { return commands_.QuitRequested(); }
  // While busy, the commands that would change the picture answer 1 "busy".
  void SetBusy(bool busy) { commands_.SetBusy(busy); }

  // Opens the scripting port: the first free VISTALOOM.<n>, or socketPath when given. False
  // with the reason in error.
  bool OpenPort(const std::string& socketPath, std::string* error);
  bool PortOpen() const { return server_ && server_->IsOpen(); }
  std::string PortName() const { return server_ ? server_->name() : std::string(); }
  std::string PortPath() const { return server_ ? server_->path() : std::string(); }
  // Waits up to timeoutMs (0: not at all) for requests and answers them. With waitMask, the
  // wait runs with that signal mask. False when a signal interrupted the wait.
  bool ServePort(int timeoutMs, const sigset_t* waitMask = nullptr);
  // Sends the replies still waiting (for at most flushMs) and closes the socket.
  void ClosePort(int flushMs);

 private:
  settings::Settings settings_;
  std::string configFile_;
  app::Controller controller_;
  browser::DirList list_;
  std::unique_ptr<browser::ThumbView> thumbs_;
  browser::DirBrowser browser_;
  app::BrowserStepList steps_;
  script::CommandPort commands_;
  std::unique_ptr<script::PortServer> server_;
};

}  // namespace vl::main
