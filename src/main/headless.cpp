#include "main/headless.h"

#include <signal.h>

#include <cstdio>
#include <string>

#include "formats/exif_report.h"
#include "image/pool.h"
#include "main/session.h"
#include "thumbs/maintenance.h"

namespace vl::main {

namespace {

volatile sig_atomic_t g_stopServing = 0;
extern "C" void OnStopSignal(int) {
  g_stopServing = 1;
}

// (Session::Execute has flushed what the handler printed, so it comes before the reply.)
void PrintReply(const script::Reply& reply, FILE* out) {
  std::fprintf(out, "%s\n", script::FormatReply(reply).c_str());
  std::fflush(out);
}

// Runs the lines of a script: blank lines and lines starting with '#' are skipped; a line
// over the limit is answered with an error and skipped. False when the file cannot be read.
bool RunScript(const std::string& file, Session& session, FILE* out) {
  FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) return false;
  std::string line;
  bool tooLong = false;
  auto finish = [&]() {
    if (tooLong) {
      PrintReply(script::AnswerText(script::kRcBadLine, "line too long"), out);
    } else {
      size_t first = line.find_first_not_of(" \t\r");
      if (first != std::string::npos && line[first] != '#') PrintReply(session.Execute(line), out);
    }
    line.clear();
    tooLong = false;
  };
  int ch;
  while (!session.QuitRequested() && (ch = std::fgetc(in)) != EOF) {
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
  if (!session.QuitRequested() && (!line.empty() || tooLong)) finish();
  if (in != stdin) std::fclose(in);
  return true;
}

// Serves the port until SIGINT, SIGTERM or "QUIT".
bool Serve(Session& session, FILE* err) {
  std::string error;
  if (!session.OpenPort(std::string(), &error)) {
    std::fprintf(err, "vistaloom: cannot open the scripting port: %s\n", error.c_str());
    return false;
  }
  std::fprintf(err, "vistaloom: serving the scripting port %s (%s)\n", session.PortName().c_str(),
               session.PortPath().c_str());
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

  while (!g_stopServing && !session.QuitRequested()) session.ServePort(1000, &waitMask);
  session.ClosePort(1000);

  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return true;
}

}  // namespace

bool RunFrontEndAction(const FrontEndOptions& fe, int& exitStatus) {
  if (fe.hasExif) {
    image::PoolScope pool;
    exitStatus = formats::PrintExifReport(fe.exifFile, stdout);
    return true;
  }
  if (!fe.cacheAction.empty()) {
    settings::Settings s;
    std::string error;
    if (!Session::LoadSettings(fe, s, error)) {
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

int RunHeadless(const FrontEndOptions& fe, const app::StartupOptions& opts, FILE* out, FILE* err) {
  image::PoolScope pool;
  int status = kExitOk;
  settings::Settings prefs;
  std::string error;
  if (!Session::LoadSettings(fe, prefs, error)) {
    std::fprintf(err, "vistaloom: %s\n", error.c_str());
    return kExitUsage;
  }
  Session session(prefs);
  // Commands may step through the list, and from their first step on the neighbours are read
  // ahead; commands that work on the one picture are not slowed by reads of others.
  if (!fe.execs.empty() || fe.hasScript || fe.serve) session.EnableReadAheadOnStep();
  // The directory is read when a command first needs the list, not with every load.
  session.list().SetDeferred(true);
  session.OpenInitialFile(opts);
  const app::StatusTexts& s = session.controller().status();
  std::fprintf(out, "Title: %s\nWidth: %s\nHeight: %s\nFormat: %s\nLoaded in: %s\n", s.title.c_str(), s.width.c_str(),
               s.height.c_str(), s.format.c_str(), s.loadTime.c_str());
  std::fflush(out);
  if (session.controller().loadFailed()) status = kExitLoadFailed;

  for (const std::string& cmd : fe.execs) {
    if (session.QuitRequested()) break;
    PrintReply(session.Execute(cmd), out);
  }
  if (fe.hasScript && !session.QuitRequested() && !RunScript(fe.scriptFile, session, out)) {
    std::fprintf(err, "vistaloom: cannot read the script %s\n", fe.scriptFile.c_str());
    return kExitUsage;
  }
  if (fe.serve && !session.QuitRequested() && !Serve(session, err)) status = kExitLoadFailed;
  return status;
}

}  // namespace vl::main
