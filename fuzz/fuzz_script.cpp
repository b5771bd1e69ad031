// The scripting line handler: up to eight request lines, one per input line, run through
// the command table with every handler installed on a controller that holds a small
// picture.
//
// Every reply must be one protocol line; lines with NUL bytes or invalid UTF-8 must be
// refused before any handler runs; no pixel block may outlive the controller.
//
// The run is kept inside a private directory: '/' and ':' in the input become '_', so
// file names stay relative (and no assign is named) and every file a command saves lands
// in that directory, the working directory while the commands run, emptied after each
// input. Requests that would make
// the picture very large (a Scale to more than 512 pixels a side or by more than 2 times,
// text over 256 pixels high) are skipped: they are legitimate work, only slow.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "app/controller.h"
#include "fuzz_util.h"
#include "platform/paths.h"
#include "platform/readargs.h"
#include "script/commands.h"
#include "script/handlers.h"

namespace {

constexpr int kMaxLines = 8;
constexpr int kPictureWidth = 24;
constexpr int kPictureHeight = 16;

std::string g_home;
int g_startDir = -1;

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  char tmpl[] = "/tmp/vl-fuzz-script-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) std::abort();
  g_home = dir;
  g_startDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_startDir < 0) std::abort();
  setenv("VISTALOOM_ASSIGN_CLIPS", dir, 1);
  setenv("VISTALOOM_ASSIGN_T", dir, 1);
  setenv("VISTALOOM_ASSIGN_ENV", dir, 1);
  setenv("VISTALOOM_ASSIGN_ENVARC", dir, 1);
  vl::fuzz::EnsurePool();
}

void EmptyHome() {
  DIR* d = opendir(g_home.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    unlink((g_home + "/" + e->d_name).c_str());
  }
  closedir(d);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Whether the request asks for work that is slow only because it is big.
bool TooBig(std::string_view line) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  size_t end = line.find_first_of(" \t", start);
  std::string_view word = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  std::string_view rest = end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
  const vl::script::Command* cmd = vl::script::CommandPort::Find(word);
  if (!cmd) return false;
  vl::platform::ParsedArgs args = vl::platform::ReadArgsLine(cmd->tmpl, rest);
  if (!args.ok) return false;
  vl::script::Args a(args);
  if (EqualNoCase(word, "Scale")) {
    for (size_t i : {size_t{1}, size_t{2}}) {
      const int32_t* n = a.Number(i);
      if (n && std::abs(static_cast<int64_t>(*n)) > 512) return true;
    }
    if (a.Text(3)) {
      float r = vl::script::ToFraction(a.Text(3));
      if (std::isfinite(r) && std::fabs(r) > 2.0f) return true;
    }
  }
  if (EqualNoCase(word, "InsertText") && a.Text(2) &&
      std::abs(static_cast<int64_t>(vl::script::ToWhole(a.Text(2)))) > 256)
    return true;
  return false;
}

bool HasNul(std::string_view s) {
  return s.find('\0') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Setup();
  // The commands run in the private directory; libFuzzer reads its corpus (relative names
  // of the command line) between inputs, so the start directory comes back afterwards.
  if (chdir(g_home.c_str()) != 0) std::abort();
  vl::fuzz::PoolBalance balance;
  {
    vl::app::Controller controller;
    controller.SetReader([](const char* path) -> vl::image::Texture* {
      // Any name starting with 'p' is a picture; everything else is missing.
      if (!path) return nullptr;
      std::string_view name = vl::platform::FilePart(path);
      if (name.empty() || name[0] != 'p') return nullptr;
      vl::image::Texture* t = vl::image::CreateTexture(kPictureWidth, kPictureHeight, vl::image::ARGB32);
      if (!t) return nullptr;
      for (int i = 0; i < kPictureWidth * kPictureHeight * 4; ++i) t->chunky->pixels[i] = static_cast<uint8_t>(i * 37);
      t->name = path;
      t->formatName = "PNG";
      return t;
    });
    vl::script::CommandPort port;
    vl::script::InstallHandlers(port, controller);
    vl::fuzz::Require(port.Execute("Load p.png").rc == 0, "the first picture loads");

    std::string input(reinterpret_cast<const char*>(data), size);
    for (char& ch : input)
      if (ch == '/' || ch == ':') ch = '_';
    std::string_view rest(input);
    for (int n = 0; n < kMaxLines && !rest.empty(); ++n) {
      size_t nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
      if (TooBig(line)) continue;
      vl::script::Reply reply = port.Execute(line);
      std::string text = vl::script::FormatReply(reply);
      vl::fuzz::Require(text.compare(0, 3, "RC ") == 0, "a reply starts with RC");
      vl::fuzz::Require(text.find('\n') == std::string::npos && text.find('\r') == std::string::npos,
                        "a reply is one line");
      if (HasNul(line) || !vl::script::IsValidUtf8(line))
        vl::fuzz::Require(reply.rc == vl::script::kRcBadLine, "NUL bytes and invalid UTF-8 are refused");
      if (vl::image::Texture* t = controller.currentImage()) {
        const vl::image::ChunkyImage* c = t->chunky;
        vl::fuzz::Require(c && c->width > 0 && c->height > 0, "the current picture is never empty");
        volatile uint32_t sink = vl::fuzz::TouchPixels(c);
        (void)sink;
      }
    }
  }
  EmptyHome();
  if (fchdir(g_startDir) != 0) std::abort();
  return 0;
}
