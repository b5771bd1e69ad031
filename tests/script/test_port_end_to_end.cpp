// The program serving its port, driven from outside with vistaloom-cmd and a raw client.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "script/port_server.h"
#include "test_support.h"

extern char** environ;

namespace vl::script {
namespace {

using vl::test::RunCommand;
using vl::test::ShellQuote;
using vl::test::TempDir;

const std::string kSample = std::string(VISTALOOM_SOURCE_DIR) + "/data/samples/testcard.png";

// `vistaloom --headless --serve FILE` in its own runtime directory; always stopped at the end.
class Server {
 public:
  explicit Server(const std::string& runtimeDir, const std::string& logDir) : runtime_(runtimeDir) {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + logDir,
                                    "XDG_CONFIG_HOME=" + logDir + "/config", "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string bin = VISTALOOM_BINARY, a1 = "--headless", a2 = "--serve", file = kSample;
    std::vector<char*> argv = {bin.data(), a1.data(), a2.data(), file.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    std::string out = logDir + "/server.out", err = logDir + "/server.err";
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, bin.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Server() {
    if (pid_ > 0 && !Exited(0)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Waits (bounded) until the port answers.
  bool WaitForPort() {
    for (int i = 0; i < 200 && pid_ > 0; ++i) {
      PortClient c;
      if (c.Connect(runtime_ + "/vistaloom/VISTALOOM.1")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // True when the program ended within the bound; its status in status().
  bool Exited(int waitMs) {
    if (done_) return true;
    for (int i = 0; i <= waitMs / 20; ++i) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        done_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
      }
      if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  int status() const { return status_; }

 private:
  std::string runtime_;
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

class EndToEnd : public ::testing::Test {
 protected:
  std::string Cmd(const std::string& args, int* rc = nullptr) {
    std::string out;
    int r = RunCommand("XDG_RUNTIME_DIR=" + ShellQuote(runtime.path()) + " timeout 60 " +
                           ShellQuote(VISTALOOM_CMD_BINARY) + " " + args,
                       out);
    if (rc) *rc = r;
    return out;
  }
  TempDir runtime;
  TempDir work;
};

TEST_F(EndToEnd, QueriesLoadsHostileLinesAndQuit) {
  Server server(runtime.path(), work.path());
  ASSERT_TRUE(server.WaitForPort()) << "the server did not open its port";
  int rc = -1;
  EXPECT_EQ(Cmd("ImageWidth", &rc), "RC 320\n");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Cmd("ImageHeight"), "RC 240\n");
  EXPECT_EQ(Cmd("ImageName"), "RC 0 testcard.png\n");
  EXPECT_EQ(Cmd("Load /nonexistent/x.png"), "RC 1\n");
  EXPECT_EQ(Cmd("ImageWidth"), "RC 320\n") << "a failed load keeps the picture";
  EXPECT_EQ(Cmd("Load"), "RC 1\n") << "Load without FILE";
  EXPECT_EQ(Cmd("Load " + ShellQuote(kSample)), "RC 0\n");
  EXPECT_EQ(Cmd("ImagePath"), "RC 0 " + kSample + "\n");
  EXPECT_EQ(Cmd("Nope", &rc), "RC 10 unknown command: Nope\n");
  EXPECT_EQ(rc, 0) << "an answered command is a success for the client";
  EXPECT_EQ(Cmd("--port VISTALOOM.7 ImageWidth 2>/dev/null", &rc), "");
  EXPECT_EQ(rc, 1) << "a port that cannot be reached";

  // Lines on standard input, one reply each; the blank line is skipped.
  std::string script = work.file("lines.txt");
  ASSERT_TRUE(vl::test::WriteFile(script, std::string("ImageWidth\n\nSaveJPG\nINFO BASE\n")));
  EXPECT_EQ(Cmd("< " + ShellQuote(script)), "RC 320\nRC 1\nRC 0 VISTALOOM\n");

  // Hostile lines straight onto the socket.
  PortClient raw;
  ASSERT_TRUE(raw.Connect(runtime.path() + "/vistaloom/VISTALOOM.1"));
  std::string reply;
  ASSERT_TRUE(raw.Request("Load \xC0\xAF", reply, 10000));
  EXPECT_EQ(reply, "RC 20 invalid UTF-8");
  ASSERT_TRUE(raw.Request(std::string(200000, 'Z'), reply, 10000));
  EXPECT_EQ(reply, "RC 20 line too long");
  ASSERT_TRUE(raw.Request("Scale box WIDTH=abc", reply, 10000));
  EXPECT_EQ(reply.substr(0, 6), "RC 10 ");
  ASSERT_TRUE(raw.SendRaw("Crop 1 1 2"));  // unfinished, then the connection goes
  raw.Close();
  EXPECT_EQ(Cmd("ImageWidth"), "RC 320\n") << "the half line changed nothing";

  EXPECT_EQ(Cmd("QUIT"), "RC 0\n");
  ASSERT_TRUE(server.Exited(20000)) << "QUIT ends the program";
  EXPECT_EQ(server.status(), 0);
}

TEST_F(EndToEnd, ScaleSaveAndReadBack) {
  Server server(runtime.path(), work.path());
  ASSERT_TRUE(server.WaitForPort());
  EXPECT_EQ(Cmd("Scale METHOD box RATIO 0.5"), "RC 0\n");
  EXPECT_EQ(Cmd("ImageWidth"), "RC 160\n");
  const std::string png = work.file("out file.png");
  const std::string iff = work.file("out.iff");
  const std::string jpg = work.file("out.jpg");
  EXPECT_EQ(Cmd("SavePNG " + ShellQuote(png) + " ALPHA"), "RC 0\n");
  EXPECT_EQ(Cmd("SaveIFF " + ShellQuote(iff)), "RC 0\n");
  EXPECT_EQ(Cmd("SaveJPG FILE=" + ShellQuote(jpg) + " QUALITY 80"), "RC 0\n");
  EXPECT_EQ(Cmd("SavePNG /nonexistent/dir/x.png"), "RC 1\n");
  EXPECT_EQ(Cmd("Load " + ShellQuote(jpg)), "RC 0\n");
  EXPECT_EQ(Cmd("ImageHeight"), "RC 120\n");
  EXPECT_EQ(Cmd("Crop 10 10 5000 5000"), "RC 0\n");
  EXPECT_EQ(Cmd("ImageWidth"), "RC 150\n");
  for (const char* edit :
       {"Sharpen 2 STRENGTH 60", "Levels color 10 240", "Blur MODE color RADIUS 1.5", "SelectiveBlur color 1 30",
        "BalanceRGB 1 0.9 1.1", "BalanceHSV 10 1.2 0.9", "AdjustContrast 1.2", "AdjustGamma 0.8",
        "InsertText \"Hi there\" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf 12 COLOR 0xFF000000"})
    EXPECT_EQ(Cmd(edit), "RC 0\n") << edit;
  EXPECT_EQ(Cmd("ClipboardCopy"), "RC 0\n");
  EXPECT_EQ(Cmd("Load " + ShellQuote(png)), "RC 0\n");
  EXPECT_EQ(Cmd("ImageName"), "RC 0 out file.png\n");
  EXPECT_EQ(Cmd("ClipboardPaste"), "RC 0\n");
  EXPECT_EQ(Cmd("ImageHeight"), "RC 110\n");
  EXPECT_EQ(Cmd("QUIT"), "RC 0\n");
  ASSERT_TRUE(server.Exited(20000));

  // The saved files, read back by the program on its own.
  std::string out;
  for (const std::string& f : {png, iff, jpg}) {
    EXPECT_EQ(RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(f), out), 0) << f;
    EXPECT_NE(out.find("Width: 160\nHeight: 120\n"), std::string::npos) << f << "\n" << out;
  }
}

TEST_F(EndToEnd, TerminateSignalStopsTheServer) {
  Server server(runtime.path(), work.path());
  ASSERT_TRUE(server.WaitForPort());
  server.Signal(SIGTERM);
  ASSERT_TRUE(server.Exited(20000));
  EXPECT_EQ(server.status(), 0);
  int rc = -1;
  Cmd("ImageWidth 2>/dev/null", &rc);
  EXPECT_EQ(rc, 1) << "the port is gone";
}

TEST(HeadlessCommands, ExecAndScriptRunInOrder) {
  TempDir t;
  std::string script = t.file("cmds");
  ASSERT_TRUE(vl::test::WriteFile(script, std::string("# a comment\nImageHeight\n\nQUIT\nImageWidth\n")));
  std::string out;
  int rc = RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(kSample) +
                          " --exec ImageWidth --exec 'Load' --exec ImageName --script " + ShellQuote(script),
                      out);
  EXPECT_EQ(rc, 0);
  size_t after = out.find("Loaded in: ");
  ASSERT_NE(after, std::string::npos) << out;
  after = out.find('\n', after) + 1;
  EXPECT_EQ(out.substr(after), "RC 320\nRC 1\nRC 0 testcard.png\nRC 240\nRC 0\n") << "QUIT ends the script";

  rc = RunCommand("printf 'ImageWidth\\n' | " + ShellQuote(VISTALOOM_BINARY) + " --headless --script -", out);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("Loaded in: 0.00s\nRC 0\n"), std::string::npos) << out;
  rc = RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless --script /nonexistent/cmds 2>&1", out);
  EXPECT_EQ(rc, 2);
}

}  // namespace
}  // namespace vl::script

namespace vl::script {
namespace {

TEST(HeadlessCommands, StepThroughTheFilesDirectory) {
  TempDir t;
  std::vector<uint8_t> png = vl::test::ReadFile(kSample);
  ASSERT_FALSE(png.empty());
  ASSERT_TRUE(vl::test::WriteFile(t.file("a.png"), png));
  ASSERT_TRUE(vl::test::WriteFile(t.file("B.png"), png));
  ASSERT_TRUE(vl::test::WriteFile(t.file("notes.txt"), std::string("not a picture")));
  std::string out;
  int rc = RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(t.file("a.png")) +
                          " --exec LoadNext --exec ImageName --exec LoadNext --exec ImageName"
                          " --exec LoadPrevious --exec ImageName --exec LoadPrevious"
                          " --exec 'ChangeDirectory " +
                          t.path() + "' --exec LoadNext --exec ImageName",
                      out);
  EXPECT_EQ(rc, 0);
  size_t after = out.find('\n', out.find("Loaded in: ")) + 1;
  EXPECT_EQ(out.substr(after),
            "RC 1\nRC 0 B.png\n"        // names without regard to case: a.png, B.png, notes.txt
            "RC 0\nRC 0 B.png\n"        // only notes.txt after it: no wrap-around, the picture stays
            "RC 1\nRC 0 a.png\n"        // nothing selected: entry 0
            "RC 0\n"                    // at the start
            "RC 0\nRC 1\nRC 0 a.png\n"  // a new directory, nothing selected: entry 0
            )
      << out;
}

}  // namespace
}  // namespace vl::script
