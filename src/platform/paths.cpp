#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vl::platform {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : std::string();
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string HomeDir() {
  std::string h = Env("HOME");
  return h.empty() ? std::string("/") : h;
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(':', start);
    if (end == std::string::npos) end = s.size();
    if (end > start) out.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

const char* const kAssigns[] = {"ENV", "ENVARC", "T", "PROGDIR", "CLIPS", "FONTS", "HOME"};

bool IsKnownAssign(const std::string& upper) {
  return std::find(std::begin(kAssigns), std::end(kAssigns), upper) != std::end(kAssigns);
}

// Splits "NAME:rest" when NAME is a known assign.
bool SplitAssign(std::string_view name, std::string& assign, std::string_view& rest) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view head = name.substr(0, colon);
  if (head.find('/') != std::string_view::npos) return false;
  std::string upper = Upper(head);
  if (!IsKnownAssign(upper)) return false;
  assign = upper;
  rest = name.substr(colon + 1);
  return true;
}

std::string Join(const std::string& dir, std::string_view rest) {
  if (rest.empty()) return dir;
  if (dir.empty() || dir.back() == '/') return dir + std::string(rest);
  return dir + "/" + std::string(rest);
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

bool MakeDirectories(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  std::string cur;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    cur = path.substr(0, next);
    if (!cur.empty()) {
      if (::mkdir(cur.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    pos = next + 1;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutableDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return exe.parent_path().string();
}

std::string ShippedDataDirectoryFor(std::string_view exeDir, std::string_view buildDir,
                                    std::string_view sourceDataDir) {
  std::filesystem::path exe(exeDir);
  std::string installed = (exe.parent_path() / "share" / "vistaloom").string();
  bool inBuild = false;
  if (!buildDir.empty() && exeDir.size() >= buildDir.size() && exeDir.compare(0, buildDir.size(), buildDir) == 0)
    inBuild = exeDir.size() == buildDir.size() || exeDir[buildDir.size()] == '/' || buildDir.back() == '/';
  if (inBuild && !sourceDataDir.empty() && !Exists(installed)) return std::string(sourceDataDir);
  return installed;
}

std::string ShippedDataDirectory() {
  static const std::string dir = [] {
    std::string exeDir = ExecutableDirectory();
    if (exeDir.empty()) return std::string();
    std::error_code ec;
    std::string build = std::filesystem::weakly_canonical(VISTALOOM_BUILD_DIR, ec).string();
    if (ec) build.clear();
    return ShippedDataDirectoryFor(exeDir, build, VISTALOOM_SOURCE_DATA_DIR);
  }();
  return dir;
}

std::string RuntimeDirectory() {
  std::string base = Env("XDG_RUNTIME_DIR");
  std::string dir;
  if (!base.empty()) {
    dir = base + "/vistaloom";
  } else {
    dir = "/tmp/vistaloom-" + std::to_string(::getuid());
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    if (!base.empty() && !MakeDirectories(base, 0700)) return {};
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  }
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
  if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return {};
  return dir;
}

std::vector<std::string> AssignDirectories(std::string_view assignName) {
  std::string a = Upper(assignName);
  if (!a.empty() && a.back() == ':') a.pop_back();
  if (!IsKnownAssign(a)) return {};
  std::string over = Env(("VISTALOOM_ASSIGN_" + a).c_str());
  if (!over.empty()) {
    if (a == "FONTS" || a == "PROGDIR") return SplitList(over);
    return {over};
  }
  if (a == "ENV") {
    std::string rt = RuntimeDirectory();
    return {rt.empty() ? std::string("/tmp/vistaloom-env") : rt + "/env"};
  }
  if (a == "CLIPS") {
    std::string rt = RuntimeDirectory();
    return {rt.empty() ? std::string("/tmp/vistaloom-clips") : rt + "/clips"};
  }
  if (a == "ENVARC") {
    std::string cfg = Env("XDG_CONFIG_HOME");
    return {(cfg.empty() ? HomeDir() + "/.config" : cfg) + "/vistaloom"};
  }
  if (a == "T") {
    std::string t = Env("TMPDIR");
    return {t.empty() ? std::string("/tmp") : t};
  }
  if (a == "PROGDIR") {
    std::string d = Env("XDG_DATA_HOME");
    std::vector<std::string> dirs = {(d.empty() ? HomeDir() + "/.local/share" : d) + "/vistaloom"};
    std::string shipped = ShippedDataDirectory();
    if (!shipped.empty()) dirs.push_back(shipped);
    return dirs;
  }
  if (a == "FONTS") {
    std::string d = Env("XDG_DATA_HOME");
    return {"/usr/share/fonts", "/usr/local/share/fonts", (d.empty() ? HomeDir() + "/.local/share" : d) + "/fonts",
            HomeDir() + "/.fonts"};
  }
  if (a == "HOME") return {HomeDir()};
  return {};
}

bool HasAssign(std::string_view name) {
  std::string assign;
  std::string_view rest;
  return SplitAssign(name, assign, rest);
}

std::string AbsolutePath(std::string_view name) {
  std::string path = ResolvePath(name);
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return JoinPath(cwd, path);
}

std::string ResolvePath(std::string_view name) {
  std::string assign;
  std::string_view rest;
  if (!SplitAssign(name, assign, rest)) return std::string(name);
  auto dirs = AssignDirectories(assign);
  if (dirs.empty()) return std::string(name);
  return Join(dirs.front(), rest);
}

std::string ResolveForRead(std::string_view name) {
  std::string assign;
  std::string_view rest;
  if (!SplitAssign(name, assign, rest)) return std::string(name);
  auto dirs = AssignDirectories(assign);
  if (dirs.empty()) return std::string(name);
  std::string first = Join(dirs.front(), rest);
  if (assign == "ENV" && !Exists(first)) {
    // ENV: is seeded from ENVARC: when the file is missing there.
    auto arc = AssignDirectories("ENVARC");
    std::string saved = arc.empty() ? std::string() : Join(arc.front(), rest);
    if (!saved.empty() && Exists(saved)) {
      std::error_code ec;
      std::filesystem::path target(first);
      MakeDirectories(target.parent_path().string(), 0700);
      std::filesystem::copy_file(saved, target, std::filesystem::copy_options::skip_existing, ec);
      if (!ec) return first;
      return saved;
    }
    return first;
  }
  for (const auto& d : dirs) {
    std::string cand = Join(d, rest);
    if (Exists(cand)) return cand;
  }
  return first;
}

std::string_view FilePart(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view PathPart(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return path.substr(0, 0);
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

bool AddPart(std::string& dest, std::string_view name, size_t maxLength) {
  std::string result;
  if (!name.empty() && name.front() == '/') {
    result = std::string(name);
  } else if (dest.empty()) {
    result = std::string(name);
  } else if (name.empty()) {
    result = dest;
  } else {
    result = dest;
    if (result.back() != '/') result += '/';
    result += name;
  }
  if (result.size() > maxLength) return false;
  dest = std::move(result);
  return true;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string d(dir);
  AddPart(d, name, std::string::npos);
  return d;
}

}  // namespace vl::platform
