// Load test of the scripting port: the real program serving its port headless, driven by
// eight clients at once with commands whose replies are known and with hostile lines, while
// further connections send half lines, drop at once or flood without reading. Every reply
// is checked; the program's memory must stay flat between a warm-up round and the end, and
// the program must still answer and exit cleanly when told to quit.
//
// Short form by default (CI, sanitizer builds); VISTALOOM_SOAK=full runs 8 x 1250 commands.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <latch>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/ilbm_writer.h"
#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "platform/paths.h"
#include "platform/version.h"
#include "script/commands.h"
#include "test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif

namespace vl::script {
namespace {

using Clock = std::chrono::steady_clock;
using vl::test::TempDir;

bool FullSoak() {
  const char* v = std::getenv("VISTALOOM_SOAK");
  return v && std::strcmp(v, "full") == 0;
}

constexpr int kClients = 8;
// Every wait on the program is bounded by this; a reply that takes longer fails the test.
constexpr int kRequestTimeoutMs = 30000;

// Memory: the resident size may grow by at most this much from the end of the warm-up
// round to the end of the run, and so may the peak. The pictures the clients load are at
// least 200 x 150 ARGB32 (117 KiB); if the program kept one such buffer for every command
// that makes one (loads, pastes, edit backups, canvases; counted below), the measured round
// of the short form alone would add over 30 MiB, and the full form over 200 MiB. Between
// rounds the allocator's own steps stay within about 5 MiB (AddressSanitizer included).
constexpr long kRssGrowthBoundKiB = 12 * 1024;
constexpr long kSmallestPictureKiB = 200 * 150 * 4 / 1024;

std::string SocketPathIn(const std::string& runtimeDir) {
  return runtimeDir + "/vistaloom/VISTALOOM.1";
}

// ---------------------------------------------------------------------------------------
// The program under test.

struct ProcMemory {
  long rssKiB = -1;
  long hwmKiB = -1;
};

ProcMemory ReadProcMemory(pid_t pid) {
  ProcMemory m;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) m.rssKiB = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) m.hwmKiB = std::atol(line.c_str() + 6);
  }
  return m;
}

class ServedProgram {
 public:
  ServedProgram(const std::string& runtimeDir, const std::string& homeDir, const std::string& file)
      : socket_(SocketPathIn(runtimeDir)) {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + homeDir,
                                    "XDG_CONFIG_HOME=" + homeDir + "/config", "XDG_DATA_HOME=" + homeDir + "/data",
                                    "PATH=/usr/bin:/bin"};
    for (const char* name : {"UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* v = std::getenv(name)) env.push_back(std::string(name) + "=" + v);
#ifdef SOAK_UNDER_ASAN
    // A small quarantine, so that freed memory is soon reused and the resident size can
    // show a leak; leaks at exit are still reported (and make the exit status non-zero).
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    env.push_back("ASAN_OPTIONS=" + asan + (asan.empty() ? "" : ":") + "quarantine_size_mb=1");
#endif
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string bin = VISTALOOM_BINARY, a1 = "--headless", a2 = "--serve", f = file;
    std::vector<char*> argv = {bin.data(), a1.data(), a2.data(), f.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    out_ = homeDir + "/server.out";
    err_ = homeDir + "/server.err";
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, bin.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
  }
  ~ServedProgram() {
    if (pid_ > 0 && !Exited(0)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ServedProgram(const ServedProgram&) = delete;
  ServedProgram& operator=(const ServedProgram&) = delete;

  pid_t pid() const {
    return pid_;
  }
  const std::string& socketPath() const {
    return socket_;
  }
  const std::string& errorLog() const {
    return err_;
  }

  bool WaitForPort(int timeoutMs);
  // True when the program ended within the bound; its status in status().
  bool Exited(int waitMs) {
    if (done_) return true;
    auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      int st = 0;
      if (pid_ > 0 && ::waitpid(pid_, &st, WNOHANG) == pid_) {
        done_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
      }
      if (Clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  int status() const {
    return status_;
  }
  void Signal(int sig) {
    if (pid_ > 0 && !done_) ::kill(pid_, sig);
  }

 private:
  std::string socket_;
  std::string out_, err_;
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

// ---------------------------------------------------------------------------------------
// A client whose every operation is bounded in time.

class SoakClient {
 public:
  ~SoakClient() { Close(); }
  bool Connect(const std::string& path) {
    Close();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
      Close();
      return false;
    }
    return true;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
  }
  // Sends all bytes; false on an error or when the program takes none for timeoutMs.
  bool Send(std::string_view bytes, int timeoutMs = kRequestTimeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t pos = 0;
    while (pos < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + pos, bytes.size() - pos, MSG_NOSIGNAL);
      if (n > 0) {
        pos += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      if (!WaitFor(POLLOUT, end)) return false;
    }
    return true;
  }
  // Reads one reply line (without its newline); false on an error, a close or a timeout.
  bool ReadLine(std::string& line, int timeoutMs = kRequestTimeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      char buf[8192];
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n > 0) {
        buffer_.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (n == 0) return false;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      if (!WaitFor(POLLIN, end)) return false;
    }
  }

 private:
  bool WaitFor(short events, Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, events, 0};
    int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    return r >= 0 || errno == EINTR;
  }

  int fd_ = -1;
  std::string buffer_;
};

bool ServedProgram::WaitForPort(int timeoutMs) {
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pid_ > 0 && Clock::now() < end) {
    SoakClient c;
    if (c.Connect(socket_)) return true;
    if (Exited(0)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// What every client shares: counts, the first failures, and the lock that keeps the
// commands depending on the current picture of one client together.

struct Tally {
  std::atomic<long> commands{0};         // request lines the clients sent
  std::atomic<long> checked{0};          // replies compared with what they must be
  std::atomic<long> hostile{0};          // hostile lines among the commands
  std::atomic<long> pictureCommands{0};  // commands that make a picture buffer of 117 KiB or more
  std::atomic<long> connections{0};      // extra connections: half lines, drops, floods
  std::atomic<long> refused{0};          // connections of crowds told "too many clients"
  std::atomic<long> flooded{0};          // request bytes of floods whose replies nobody read
  std::mutex failureLock;
  std::vector<std::string> failures;
  std::atomic<bool> failed{false};
  // The program was told to stop: connections that break from then on are expected.
  std::atomic<bool> ending{false};
  std::atomic<long> lost{0};

  void Fail(const std::string& what) {
    failed = true;
    std::lock_guard<std::mutex> lock(failureLock);
    if (failures.size() < 20) failures.push_back(what);
  }
};

std::string Printable(const std::string& s) {
  std::string out;
  for (char ch : s.substr(0, 120)) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (s.size() > 120) out += "...(" + std::to_string(s.size()) + " bytes)";
  return out;
}

// A picture a client works on, with the size every command must see.
struct Picture {
  std::string path;
  std::string name;
  int width = 0;
  int height = 0;
};

struct ClientFiles {
  Picture source;         // the client's own picture
  std::string directory;  // holds a.png and b.png of their own sizes, and notes.txt
  Picture a, b;
  std::string outJpg, outPng, outIff;
};

struct SoakWorld {
  std::string socketPath;
  std::vector<ClientFiles> files;
  std::string font;  // empty when no TrueType font is installed
  std::mutex stateLock;
  Tally tally;
  Clock::time_point deadline;
};

// One scripted conversation of a client: lines sent, replies checked in order.
class Conversation {
 public:
  Conversation(SoakWorld& world, SoakClient& client, int id) : w_(world), c_(client), id_(id) {}

  // Sends one line and checks its reply.
  bool Ask(const std::string& line, const std::string& want, bool hostile = false) {
    return Pipeline({{line, want}}, hostile);
  }
  // Sends several lines in one write, then checks their replies in order.
  bool Pipeline(const std::vector<std::pair<std::string, std::string>>& lines, bool hostile = false) {
    std::string bytes;
    for (const auto& l : lines) bytes += l.first + "\n";
    if (!c_.Send(bytes)) return Lost("sending " + Printable(lines.front().first));
    return Collect(lines, hostile);
  }
  // Sends one line in several writes with short pauses between them.
  bool Split(const std::string& line, const std::string& want, int pieces, bool hostile = false) {
    std::string bytes = line + "\n";
    size_t step = std::max<size_t>(1, bytes.size() / static_cast<size_t>(pieces));
    for (size_t pos = 0; pos < bytes.size(); pos += step) {
      if (!c_.Send(std::string_view(bytes).substr(pos, step))) return Lost("sending a piece of " + Printable(line));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return Collect({{line, want}}, hostile);
  }
  bool Size(const Picture& p) { return Size(p.width, p.height); }
  bool Size(int width, int height) {
    return Pipeline({{"ImageWidth", "RC " + std::to_string(width)}, {"ImageHeight", "RC " + std::to_string(height)}});
  }
  // Counts commands that make a picture buffer of at least kSmallestPictureKiB.
  void MadePicture(int n = 1) { w_.tally.pictureCommands += n; }
  // Request lines this client sent so far.
  long sent() const { return sent_; }
  // The connection broke or a reply did not come.
  bool lost() const { return lost_; }

 private:
  bool Collect(const std::vector<std::pair<std::string, std::string>>& lines, bool hostile) {
    for (const auto& l : lines) {
      ++sent_;
      ++w_.tally.commands;
      if (hostile) ++w_.tally.hostile;
      std::string reply;
      if (!c_.ReadLine(reply)) return Lost("waiting for the reply to " + Printable(l.first));
      ++w_.tally.checked;
      if (reply != l.second) return Wrong(l.first, reply, l.second);
    }
    return true;
  }
  bool Lost(const std::string& what) {
    lost_ = true;
    if (w_.tally.ending) {
      ++w_.tally.lost;
      return false;
    }
    w_.tally.Fail("client " + std::to_string(id_) + ": connection lost or timed out " + what);
    return false;
  }
  bool Wrong(const std::string& line, const std::string& got, const std::string& want) {
    w_.tally.Fail("client " + std::to_string(id_) + ": '" + Printable(line) + "' answered '" + Printable(got) +
                  "', expected '" + Printable(want) + "'");
    return false;
  }

  SoakWorld& w_;
  SoakClient& c_;
  int id_;
  long sent_ = 0;
  bool lost_ = false;
};

// ---------------------------------------------------------------------------------------
// The command mix.

// A path as one argument: the output files have blanks in their names.
std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string Rc(int rc) {
  return "RC " + std::to_string(rc);
}
std::string RcText(int rc, const std::string& text) {
  return "RC " + std::to_string(rc) + " " + text;
}

// Lines whose reply does not depend on the current picture (nor on whether there is one),
// so they may run at any time between other clients' commands. Most are hostile.
struct FreeLine {
  std::string line;
  std::string reply;
  bool hostile;
};

std::vector<FreeLine> FreeLines() {
  const std::string version = RcText(0, kVersionString);
  std::vector<FreeLine> v = {
      {"INFO VERSION", version, false},
      {"info version", version, false},
      {"INFO TITLE", RcText(0, kAppTitle), false},
      {"INFO ITEM=BASE", RcText(0, kBaseName), false},
      {"INFO DESCRIPTION", RcText(0, kDescription), false},
      {"HELP", RcText(0, CommandPort::HelpText()), false},
      {"INFO BASE\r", RcText(0, kBaseName), false},
      {"INFO " + std::string(60000, ' ') + "BASE", RcText(0, kBaseName), false},
      // Unknown words, binary bytes, NUL, broken UTF-8.
      {"Frobnicate 1 2 3", RcText(10, "unknown command: Frobnicate"), true},
      {"LoadNextt", RcText(10, "unknown command: LoadNextt"), true},
      {"", RcText(10, "no command"), true},
      {" \t  ", RcText(10, "no command"), true},
      {std::string("Image\0Width", 11), RcText(20, "NUL byte in line"), true},
      {std::string("\0", 1), RcText(20, "NUL byte in line"), true},
      {"\xFF\xFE\x80\x81 binary", RcText(20, "invalid UTF-8"), true},
      {"Load \xC0\xAF", RcText(20, "invalid UTF-8"), true},
      {"Load \xED\xA0\x80", RcText(20, "invalid UTF-8"), true},
      {"\x01\x02\x1B\x7F", RcText(10, "unknown command: ????"), true},
      // Quotes and templates.
      {"Load \"never closed", RcText(10, "Load: unterminated quote"), true},
      {"SavePNG FILE=\"x.png", RcText(10, "SavePNG: unterminated quote"), true},
      {"INFO", RcText(10, "INFO: required argument missing"), true},
      {"INFO NOSUCH", RcText(10, "unknown item (TITLE, VERSION, BASE, DESCRIPTION)"), true},
      {"ImageWidth extra", RcText(10, "ImageWidth: wrong number of arguments"), true},
      {"Crop 1 2 3 4 5", RcText(10, "Crop: wrong number of arguments"), true},
      {"SaveJPG FILE x.jpg QUALITY abc", RcText(10, "SaveJPG: bad number"), true},
      {"SaveJPG x.jpg QUALITY 99999999999999999999", RcText(10, "SaveJPG: bad number"), true},
      {"Scale box WIDTH=abc", RcText(10, "Scale: bad number"), true},
      {"Scale box WIDTH 2147483648 HEIGHT 1", RcText(10, "Scale: bad number"), true},
      {"Scale box HEIGHT", RcText(10, "Scale: required argument missing"), true},
      // Arguments the handlers refuse whether or not there is a picture.
      {"Load", Rc(1), true},
      {"SavePNG", Rc(1), true},
      {"SaveJPG /nonexistent-dir/x.jpg QUALITY 80", Rc(1), true},
      {"SaveIFF /nonexistent-dir/x.iff", Rc(1), true},
      {"Scale box WIDTH -5 HEIGHT 10", Rc(1), true},
      {"Scale box WIDTH 2147483647 HEIGHT 2147483647", Rc(1), true},
      {"Scale box WIDTH -2147483648 HEIGHT -2147483648", Rc(1), true},
      {"Scale box WIDTH 0 HEIGHT 0", Rc(1), true},
      {"Scale METHOD foo WIDTH 100 HEIGHT 100", Rc(1), true},
      {"Scale box RATIO -1", Rc(1), true},
      {"Crop 0 0 0 5", Rc(1), true},
      {"Crop 0 0 5 0", Rc(1), true},
      {"Crop -5 0 10 10", Rc(1), true},
      {"Crop 2147483647 0 10 10", Rc(1), true},
      {"Crop 0 0 -2147483648 5", Rc(1), true},
      {"Sharpen 0 5", Rc(1), true},
      {"Sharpen 3 0", Rc(1), true},
      {"Sharpen -2147483648 -7", Rc(1), true},
      {"Levels MODE Color", Rc(1), true},
      {"Levels MODE bogus AUTO", Rc(1), true},
      {"Blur MODE bogus RADIUS 2", Rc(1), true},
      {"Blur color 1e30", Rc(1), true},
      {"Blur color nan", Rc(1), true},
      {"SelectiveBlur coloralpha 1 30", Rc(1), true},
      {"SelectiveBlur color 1e9 30", Rc(1), true},
      {"InsertText Hello", Rc(1), true},
      {"InsertText Hello /no/such/font.ttf 0", Rc(1), true},
  };
  return v;
}

// Over-long lines: a reply each, however the bytes arrive.
std::string LongLine(size_t bytes, uint32_t seed) {
  std::string s(bytes, 'A');
  for (size_t i = 0; i < bytes; ++i) s[i] = static_cast<char>('A' + (seed + i * 7) % 26);
  return s;
}

// The steps that depend on the current picture; each holds the state lock from its first
// command to its last, so that every reply is known.
void PictureStep(SoakWorld& w, Conversation& c, const ClientFiles& f, std::mt19937& rng) {
  std::lock_guard<std::mutex> lock(w.stateLock);
  const Picture& p = f.source;
  auto load = [&](const Picture& pic) {
    c.MadePicture();
    return c.Ask("Load " + pic.path, Rc(0));
  };
  switch (rng() % 12) {
    case 0: {  // load and query
      if (!load(p) || !c.Size(p)) return;
      c.Pipeline({{"ImageName", RcText(0, p.name)}, {"ImagePath", RcText(0, p.path)}});
      return;
    }
    case 1: {  // scale by a ratio, then to a given size with each kernel
      if (!load(p)) return;
      if (!c.Ask("Scale METHOD box RATIO 0.5", Rc(0)) || !c.Size(p.width / 2, p.height / 2)) return;
      static const char* const kernels[] = {"box", "triangle", "bell", "spline", "lanczos", "mitchell"};
      const int tw = 40 + static_cast<int>(rng() % 60), th = 30 + static_cast<int>(rng() % 40);
      if (!c.Ask(std::string("Scale METHOD ") + kernels[rng() % 6] + " WIDTH " + std::to_string(tw) + " HEIGHT " +
                     std::to_string(th),
                 Rc(0)))
        return;
      c.Size(tw, th);
      return;
    }
    case 2: {  // an unknown method with a border: the canvas is the larger of the two sizes
      if (!load(p)) return;
      c.MadePicture();
      if (!c.Ask("Scale METHOD foo WIDTH 300 HEIGHT 100 BORDER 1 BORDERCOLOR 4278190080", Rc(0)) ||
          !c.Size(300, p.height))
        return;
      if (!c.Ask("Scale lanczos 300 " + std::to_string(p.height), Rc(0))) return;  // the same size: nothing to do
      c.Size(300, p.height);
      return;
    }
    case 3: {  // crops, limited to the picture's edges
      if (!load(p)) return;
      if (!c.Ask("Crop 10 10 5000 5000", Rc(0)) || !c.Size(p.width - 10, p.height - 10)) return;
      if (!c.Ask("Crop LEFT=3 TOP=4 WIDTH=20 HEIGHT=10", Rc(0))) return;
      c.Size(20, 10);
      return;
    }
    case 4:
    case 5: {  // filters that keep the size, including extreme but valid arguments
      if (!load(p)) return;
      std::vector<std::string> ops = {"Sharpen 2 STRENGTH 60",
                                      "Sharpen 2147483647 1",
                                      "Levels color 10 240",
                                      "Levels coloralpha -2147483648 2147483647",
                                      "Levels alpha AUTO",
                                      "Levels color 20 20",
                                      "Blur MODE color RADIUS 1.5",
                                      "Blur coloralpha 6",
                                      "SelectiveBlur color 1 30",
                                      "SelectiveBlur alpha 2 -2147483648",
                                      "BalanceRGB 1 0.9 1.1",
                                      "BalanceRGB 1e300 -1e300 nan 1",
                                      "BalanceHSV 10 1.2 0.9",
                                      "BalanceHSV -2147483648 1e30 -5",
                                      "AdjustContrast 1.2",
                                      "AdjustContrast -1e30",
                                      "AdjustGamma 0.8",
                                      "AdjustGamma 0"};
      if (!w.font.empty()) {
        ops.push_back("InsertText \"Soak test\" " + w.font + " 14 COLOR 0xFF102030 SHADOW 1 SPOSX 2 SPOSY 2");
        ops.push_back("InsertText Hi " + w.font + " 12 topbottom rightbottom 10 10 0xFFFFFFFF");
        ops.push_back("InsertText Big " + w.font + " 2147483647");
      }
      for (int k = 0; k < 3; ++k) {
        const std::string& op = ops[rng() % ops.size()];
        if (op.rfind("InsertText", 0) != 0) c.MadePicture();  // the edit backup
        // A size of 2^31-1 is refused by the text engine; every other line here works.
        if (!c.Ask(op, Rc(op.find("2147483647") != std::string::npos && op.rfind("InsertText", 0) == 0 ? 1 : 0)))
          return;
      }
      c.Size(p);
      return;
    }
    case 6: {  // save in each format and read the file back
      if (!load(p)) return;
      if (!c.Ask("Scale box RATIO 0.75", Rc(0))) return;
      const int sw = static_cast<int>(static_cast<float>(p.width) * 0.75f);
      const int sh = static_cast<int>(static_cast<float>(p.height) * 0.75f);
      const std::string* out = nullptr;
      switch (rng() % 3) {
        case 0:
          out = &f.outJpg;
          if (!c.Ask("SaveJPG FILE=" + Quoted(*out) + " QUALITY " + std::to_string(10 + rng() % 90), Rc(0))) return;
          break;
        case 1:
          out = &f.outPng;
          if (!c.Ask("SavePNG " + Quoted(*out) + " ALPHA", Rc(0))) return;
          break;
        default:
          out = &f.outIff;
          if (!c.Ask("SaveIFF " + Quoted(*out), Rc(0))) return;
          break;
      }
      if (!c.Ask("Load " + Quoted(*out), Rc(0)) || !c.Size(sw, sh)) return;
      c.Ask("ImageName", RcText(0, std::string(platform::FilePart(*out))));
      return;
    }
    case 7: {  // the clipboard survives a failed load
      if (!load(p)) return;
      if (!c.Ask("ClipboardCopy", Rc(0))) return;
      if (!c.Ask("Load /nonexistent-dir/none.png", Rc(1)) || !c.Size(p)) return;
      c.MadePicture();
      c.Ask("ClipboardPaste", Rc(0)) && c.Size(p);
      return;
    }
    case 8: {  // stepping through the client's directory
      if (!c.Ask("ChangeDirectory " + f.directory, Rc(0))) return;
      c.MadePicture(3);
      if (!c.Ask("LoadNext", Rc(1)) || !c.Ask("ImageName", RcText(0, f.a.name)) || !c.Size(f.a)) return;
      if (!c.Ask("LoadNext", Rc(1)) || !c.Ask("ImageName", RcText(0, f.b.name)) || !c.Size(f.b)) return;
      if (!c.Ask("LoadNext", Rc(0)) || !c.Ask("ImageName", RcText(0, f.b.name))) return;  // notes.txt is no picture
      if (!c.Ask("LoadPrevious", Rc(1)) || !c.Ask("ImageName", RcText(0, f.a.name))) return;
      c.Ask("LoadPrevious", Rc(0));
      return;
    }
    case 9: {  // a failed load keeps the picture, and commands go on working on it
      if (!load(p)) return;
      if (!c.Ask("Load /nonexistent-dir/none.png", Rc(1))) return;
      c.Pipeline({{"ImageWidth", Rc(p.width)},
                  {"ImageHeight", Rc(p.height)},
                  {"ImageName", RcText(0, p.name)},
                  {"ImagePath", RcText(0, p.path)},
                  {"Load /nonexistent-dir/other.png", Rc(1)},
                  {"Crop 0 0 10 10", Rc(0)},
                  {"ImageWidth", Rc(10)}});
      return;
    }
    case 10: {  // a load whose path is long but within the line limit
      const std::string longPath = "/nonexistent-dir/" + std::string(60000, 'p') + ".png";
      if (!load(p)) return;
      if (!c.Ask("Load " + longPath, Rc(1))) return;
      c.Size(p);
      return;
    }
    default: {  // a picture command split across several writes
      c.MadePicture();
      if (!c.Split("Load " + p.path, Rc(0), 4)) return;
      c.Split("ImageWidth", Rc(p.width), 3);
      return;
    }
  }
}

// One of the eight clients: its share of the commands, a mix of the steps above.
// It counts down ready once the program serves its connection (before any crowd comes).
void RunClient(SoakWorld& w, int id, long commandsWanted, uint32_t seed, std::latch& ready) {
  SoakClient client;
  Conversation c(w, client, id);
  const bool connected = client.Connect(w.socketPath) && c.Ask("INFO BASE", RcText(0, kBaseName));
  ready.count_down();
  if (!connected) {
    w.tally.Fail("client " + std::to_string(id) + ": not served");
    return;
  }
  const ClientFiles& f = w.files[static_cast<size_t>(id)];
  static const std::vector<FreeLine> kFree = FreeLines();
  const std::string tooLong = RcText(20, "line too long");
  std::mt19937 rng(seed);
  while (c.sent() < commandsWanted && !w.tally.failed && !c.lost()) {
    if (Clock::now() > w.deadline) {
      w.tally.Fail("client " + std::to_string(id) + ": the time bound ran out");
      return;
    }
    switch (rng() % 8) {
      case 0:
      case 1:
      case 2: PictureStep(w, c, f, rng); break;
      case 3:
      case 4: {
        const FreeLine& l = kFree[rng() % kFree.size()];
        c.Ask(l.line, l.reply, l.hostile);
        break;
      }
      case 5: {  // several lines in one write
        std::vector<std::pair<std::string, std::string>> batch;
        long hostile = 0;
        for (int k = 0, n = 2 + static_cast<int>(rng() % 5); k < n; ++k) {
          const FreeLine& l = kFree[rng() % kFree.size()];
          batch.push_back({l.line, l.reply});
          hostile += l.hostile ? 1 : 0;
        }
        w.tally.hostile += hostile;
        c.Pipeline(batch);
        break;
      }
      case 6: {  // one line in pieces
        const FreeLine& l = kFree[rng() % kFree.size()];
        c.Split(l.line, l.reply, 2 + static_cast<int>(rng() % 4), l.hostile);
        break;
      }
      default:  // over the line limit: just past it, far past it in pieces, or with a command word
        switch (rng() % 3) {
          case 0: c.Ask(LongLine(kMaxLineBytes + 1, rng()), tooLong, true); break;
          case 1: c.Split(LongLine(200000, rng()), tooLong, 7, true); break;
          default: c.Ask("Load " + LongLine(70000, rng()), tooLong, true); break;
        }
        break;
    }
  }
}

// A crowd of connections at once, more than the program serves: each is either served or
// told "too many clients"; none goes unanswered.
void Crowd(SoakWorld& w) {
  std::vector<std::unique_ptr<SoakClient>> crowd;
  for (int k = 0; k < 30; ++k) {
    auto c = std::make_unique<SoakClient>();
    bool connected = c->Connect(w.socketPath);
    for (int tries = 0; !connected && tries < 100; ++tries) {  // while the listen queue is full
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      connected = c->Connect(w.socketPath);
    }
    if (connected) crowd.push_back(std::move(c));
  }
  w.tally.connections += static_cast<long>(crowd.size());
  for (auto& c : crowd) c->Send("INFO BASE\n", 1000);  // a refused one may be closed already
  const std::string served = RcText(0, kBaseName), refused = RcText(20, "too many clients");
  for (auto& c : crowd) {
    std::string reply;
    if (!c->ReadLine(reply)) {
      if (!w.tally.ending) w.tally.Fail("a connection of a crowd got no answer");
    } else if (reply == refused) {
      ++w.tally.refused;
    } else if (reply != served) {
      w.tally.Fail("a connection of a crowd got '" + Printable(reply) + "'");
    }
  }
}

// Connections that misbehave while the clients work: half a line and gone, gone at once,
// floods of requests whose replies are never read, crowds. None of them may disturb the
// clients, and none may block the program.
void RunMisbehaving(SoakWorld& w, const std::atomic<bool>& stop, int kind, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string flood;
  while (flood.size() < 64 * 1024) flood += "HELP\nINFO VERSION\n";
  while (!stop && !w.tally.failed && Clock::now() < w.deadline) {
    if (kind == 3) {
      Crowd(w);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    SoakClient c;
    if (!c.Connect(w.socketPath)) {  // the listen queue may be full for a moment
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    ++w.tally.connections;
    if (kind == 0) {
      // Half a line: had it run, "Load" would take the picture from a client's step.
      static const char* const halves[] = {"Load /nonexistent-dir/half-line.png", "Crop 1 1 2", "Scale box RATIO 0.1",
                                           "\xFF\xFE garbage"};
      std::string half = rng() % 5 == 0 ? "Load " + LongLine(40000, rng()) : halves[rng() % 4];
      c.Send(half, 1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng() % 3));
    } else if (kind == 2) {
      // Writes until the program stops taking input (it stops reading a client whose
      // replies pile up), stays connected for a while, then leaves without reading a
      // single reply.
      size_t sent = 0;
      while (sent < 8u * 1024 * 1024 && c.Send(flood, 300)) sent += flood.size();
      w.tally.flooded += static_cast<long>(sent);
      for (int k = 0; k < 50 && !stop; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    c.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(kind == 2 ? 50 : 3));
  }
}

// Files of one client: its own picture (a size no other client has, so a reply meant for
// another client shows), a directory to step through, and the names it saves to.
bool WritePicture(const std::string& path, int width, int height, uint32_t seed, int kind) {
  image::ChunkyPtr img(test::RandomImage(width, height, image::ARGB32, seed));
  if (!img) return false;
  switch (kind % 3) {
    case 0: return formats::SavePNG(img.get(), path.c_str(), false) == 1;
    case 1: return formats::SaveJPEG(img.get(), path.c_str(), 85, false, false) == 1;
    default: return formats::SaveILBM(img.get(), path.c_str()) == 1;
  }
}

bool MakeClientFiles(const std::string& work, int i, ClientFiles& f) {
  static const char* const suffix[] = {".png", ".jpg", ".iff"};
  f.source.name = "client" + std::to_string(i) + suffix[i % 3];
  f.source.path = work + "/pictures/" + f.source.name;
  f.source.width = 200 + 8 * i;
  f.source.height = 150 + 6 * i;
  f.directory = work + "/dir" + std::to_string(i);
  f.a = {f.directory + "/a.png", "a.png", 201 + 2 * i, 151 + i};
  f.b = {f.directory + "/b.png", "b.png", 203 + 2 * i, 153 + i};
  f.outJpg = work + "/out " + std::to_string(i) + ".jpg";
  f.outPng = work + "/out " + std::to_string(i) + ".png";
  f.outIff = work + "/out " + std::to_string(i) + ".iff";
  const uint32_t seed = 17u * static_cast<uint32_t>(i) + 1u;
  return platform::MakeDirectories(work + "/pictures") && platform::MakeDirectories(f.directory) &&
         WritePicture(f.source.path, f.source.width, f.source.height, seed, i) &&
         WritePicture(f.a.path, f.a.width, f.a.height, seed + 1, 0) &&
         WritePicture(f.b.path, f.b.width, f.b.height, seed + 2, 0) &&
         test::WriteFile(f.directory + "/notes.txt", std::string("not a picture\n"));
}

std::string ReadLog(const std::string& path) {
  std::vector<uint8_t> bytes = test::ReadFile(path);
  std::string s(bytes.begin(), bytes.end());
  return s.size() > 4000 ? s.substr(s.size() - 4000) : s;
}

TEST(PortSoak, EightClientsMixedWithHostileLines) {
  const bool full = FullSoak();
  const long perClient = full ? 1250 : 250;
  const long warmupPerClient = full ? 100 : 50;
  const auto bound = full ? std::chrono::minutes(20) : std::chrono::minutes(4);

  image::PoolScope pool;  // for writing the test pictures
  TempDir runtime, home, work;
  SoakWorld world;
  world.files.resize(kClients);
  for (int i = 0; i < kClients; ++i) ASSERT_TRUE(MakeClientFiles(work.path(), i, world.files[i])) << i;
  const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (!test::ReadFile(font).empty()) world.font = font;

  const auto started = Clock::now();
  ServedProgram program(runtime.path(), home.path(), world.files[0].source.path);
  ASSERT_GT(program.pid(), 0);
  world.socketPath = program.socketPath();
  ASSERT_TRUE(program.WaitForPort(30000)) << "the program did not open its port\n" << ReadLog(program.errorLog());
  world.deadline = started + bound;

  // One round: the eight clients with their commands, the misbehaving connections beside
  // them until the clients are done. Then a request on a new connection, so the program
  // has seen every connection that went away before its memory is read.
  auto round = [&](long commandsPerClient, uint32_t seedBase) {
    std::atomic<bool> stop{false};
    std::latch ready(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
      clients.emplace_back(RunClient, std::ref(world), i, commandsPerClient, seedBase + 100u + static_cast<uint32_t>(i),
                           std::ref(ready));
    ready.wait();
    std::vector<std::thread> odd;
    for (int kind = 0; kind < 4; ++kind)
      odd.emplace_back(RunMisbehaving, std::ref(world), std::cref(stop), kind, seedBase + static_cast<uint32_t>(kind));
    for (auto& t : clients) t.join();
    stop = true;
    for (auto& t : odd) t.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    SoakClient sync;
    std::string reply;
    return sync.Connect(world.socketPath) && sync.Send("INFO BASE\n") && sync.ReadLine(reply) &&
           reply == RcText(0, kBaseName);
  };
  auto failures = [&]() {
    std::string s;
    for (const std::string& f : world.tally.failures) s += f + "\n";
    return s + ReadLog(program.errorLog());
  };

  ASSERT_TRUE(round(warmupPerClient, 1) && !world.tally.failed) << "warm-up round\n" << failures();
  const ProcMemory warm = ReadProcMemory(program.pid());
  const long picturesBefore = world.tally.pictureCommands;
  ASSERT_TRUE(round(perClient - warmupPerClient, 1000) && !world.tally.failed) << "main round\n" << failures();
  const ProcMemory end = ReadProcMemory(program.pid());
  const long measuredPictures = world.tally.pictureCommands - picturesBefore;

  // The program still answers, and ends cleanly when told to.
  {
    SoakClient last;
    ASSERT_TRUE(last.Connect(world.socketPath));
    Conversation c(world, last, kClients);
    const Picture& p = world.files[3].source;
    EXPECT_TRUE(c.Ask("Load " + p.path, Rc(0)) && c.Size(p) && c.Ask("QUIT", Rc(0))) << failures();
  }
  ASSERT_TRUE(program.Exited(30000)) << "QUIT did not end the program";
  EXPECT_EQ(program.status(), 0) << ReadLog(program.errorLog());
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

  std::printf(
      "[ soak     ] %s form: %d clients, %ld commands (%ld hostile), %ld replies checked, %ld picture "
      "commands measured\n"
      "[ soak     ] %ld extra connections (half lines, drops, floods, crowds; %ld refused as too many), %.1f MiB "
      "of flooded requests\n"
      "[ soak     ] VmRSS %ld KiB after warm-up, %ld KiB at the end; VmHWM %ld KiB -> %ld KiB; %.1f s\n",
      full ? "full" : "short", kClients, world.tally.commands.load(), world.tally.hostile.load(),
      world.tally.checked.load(), measuredPictures, world.tally.connections.load(), world.tally.refused.load(),
      static_cast<double>(world.tally.flooded.load()) / (1024.0 * 1024.0), warm.rssKiB, end.rssKiB, warm.hwmKiB,
      end.hwmKiB, seconds);
  std::fflush(stdout);

  EXPECT_EQ(world.tally.checked.load(), world.tally.commands.load()) << "every command got its reply checked";
  EXPECT_GE(world.tally.commands.load(), kClients * perClient);
  ASSERT_GT(warm.rssKiB, 0);
  ASSERT_GT(end.rssKiB, 0);
  // The bound only means something if leaking one picture per picture command would pass it.
  EXPECT_GT(measuredPictures * kSmallestPictureKiB, 2 * kRssGrowthBoundKiB);
  EXPECT_LT(end.rssKiB - warm.rssKiB, kRssGrowthBoundKiB) << "resident size grew";
  EXPECT_LT(end.hwmKiB - warm.hwmKiB, kRssGrowthBoundKiB) << "peak resident size grew";
}

// Told to stop by SIGTERM in the middle of the load: the program ends within the bound
// with status 0 and takes its socket away, whatever its clients were doing; every reply
// that came before the end was right.
TEST(PortSoak, TerminateSignalUnderLoad) {
  image::PoolScope pool;
  TempDir runtime, home, work;
  SoakWorld world;
  world.files.resize(kClients);
  for (int i = 0; i < kClients; ++i) ASSERT_TRUE(MakeClientFiles(work.path(), i, world.files[i])) << i;
  ServedProgram program(runtime.path(), home.path(), world.files[0].source.path);
  ASSERT_GT(program.pid(), 0);
  world.socketPath = program.socketPath();
  ASSERT_TRUE(program.WaitForPort(30000)) << ReadLog(program.errorLog());
  world.deadline = Clock::now() + std::chrono::minutes(2);

  std::atomic<bool> stop{false};
  std::latch ready(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i)
    threads.emplace_back(RunClient, std::ref(world), i, 1L << 30, 7000u + static_cast<uint32_t>(i), std::ref(ready));
  ready.wait();
  for (int kind = 0; kind < 4; ++kind)
    threads.emplace_back(RunMisbehaving, std::ref(world), std::cref(stop), kind, 8000u + static_cast<uint32_t>(kind));
  // The signal comes once the clients are well at work (bounded wait).
  const auto busyBy = Clock::now() + std::chrono::seconds(30);
  while (world.tally.checked < 300 && !world.tally.failed && Clock::now() < busyBy)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const long before = world.tally.checked;

  world.tally.ending = true;
  program.Signal(SIGTERM);
  const bool exited = program.Exited(30000);
  stop = true;
  for (auto& t : threads) t.join();
  ASSERT_TRUE(exited) << "SIGTERM did not end the program under load";
  EXPECT_EQ(program.status(), 0) << ReadLog(program.errorLog());
  std::string failures;
  for (const std::string& f : world.tally.failures) failures += f + "\n";
  EXPECT_FALSE(world.tally.failed) << failures;
  EXPECT_GE(before, 300) << "the clients got too few replies before the signal";
  EXPECT_NE(::access(world.socketPath.c_str(), F_OK), 0) << "the socket is gone";
  std::printf("[ soak     ] SIGTERM after %ld checked replies; %ld connections broke at the end\n", before,
              world.tally.lost.load());
}

}  // namespace
}  // namespace vl::script
