#include "browser/volumes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "browser/nocase.h"

namespace vl::browser {
namespace {

// user-dirs.dirs is small; anything larger is not read past this.
constexpr size_t kMaxListBytes = 4u << 20;

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadSmallFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string out;
  char buf[8192];
  while (in && out.size() < kMaxListBytes) {
    in.read(buf, sizeof buf);
    out.append(buf, static_cast<size_t>(in.gcount()));
  }
  if (out.size() > kMaxListBytes) out.resize(kMaxListBytes);
  return out;
}

bool UnderPseudoTree(const std::string& mountPoint) {
  for (const char* top : {"/proc", "/sys"}) {
    std::string_view t(top);
    if (mountPoint.compare(0, t.size(), t) == 0 && (mountPoint.size() == t.size() || mountPoint[t.size()] == '/'))
      return true;
  }
  return false;
}

}  // namespace

VolumeEntry MakeVolumeEntry(std::string_view name, std::string_view device, bool memoryBacked, std::string path) {
  VolumeEntry e;
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  e.name = std::string(name);
  e.device = std::string(device);
  if (e.device.empty()) {
    e.kind = kVolumeAssign;
  } else {
    e.kind = memoryBacked ? kVolumeInMemory : kVolumeOnDevice;
  }
  e.nameText = e.name + ":";
  if (e.kind != kVolumeAssign) e.deviceText = "[" + e.device + "]";
  e.path = std::move(path);
  return e;
}

int CompareVolumes(const VolumeEntry& a, const VolumeEntry& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  // The texts are compared without their brackets and colon, which would put "[sda10]"
  // before "[sda1]" and "/media/usb:" before "/media:".
  int r = a.kind == kVolumeOnDevice ? CompareNoCase(a.device, b.device) : CompareNoCase(a.name, b.name);
  if (r != 0) return r;
  // Equal keys keep a fixed order: the other text, then the bytes of the name.
  r = a.kind == kVolumeOnDevice ? CompareNoCase(a.name, b.name) : CompareNoCase(a.device, b.device);
  if (r != 0) return r;
  return a.name.compare(b.name);
}

bool IsPseudoFileSystem(std::string_view t) {
  static const char* const kPseudo[] = {"proc",       "sysfs",      "cgroup",  "cgroup2",     "devpts",   "mqueue",
                                        "securityfs", "debugfs",    "tracefs", "pstore",      "bpf",      "configfs",
                                        "fusectl",    "hugetlbfs",  "autofs",  "binfmt_misc", "efivarfs", "selinuxfs",
                                        "nsfs",       "rpc_pipefs", "devtmpfs"};
  for (const char* p : kPseudo)
    if (t == p) return true;
  return false;
}

bool IsMemoryFileSystem(std::string_view t) {
  return t == "tmpfs" || t == "ramfs";
}

std::string MountDeviceText(const platform::MountRecord& m) {
  std::string_view s(m.source);
  if (s.substr(0, 5) == "/dev/" && s.size() > 5) s.remove_prefix(5);
  if (s.empty() || s == "none") return m.fsType;
  return std::string(s);
}

std::vector<AssignPlace> ParseUserDirs(std::string_view text, const std::string& home) {
  std::vector<AssignPlace> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    if (key.size() <= 8 || key.substr(0, 4) != "XDG_" || key.substr(key.size() - 4) != "_DIR") continue;
    std::string_view word = key.substr(4, key.size() - 8);
    bool wordOk = !word.empty();
    for (char c : word)
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) wordOk = false;
    if (!wordOk) continue;
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
    value = value.substr(1, value.size() - 2);
    std::string path;
    if (value.substr(0, 5) == "$HOME" && (value.size() == 5 || value[5] == '/')) {
      path = home + std::string(value.substr(5));
    } else if (!value.empty() && value.front() == '/') {
      path = std::string(value);
    } else {
      continue;
    }
    // Only plain paths: the file may quote, but shell expansions beyond $HOME are not taken.
    if (path.find('"') != std::string::npos || path.find('$') != std::string::npos) continue;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::string name;
    for (size_t i = 0; i < word.size(); ++i) name.push_back(i == 0 ? word[i] : FoldAscii(word[i]));
    out.push_back({name, path});
  }
  return out;
}

void VolumeList::Fill() {
  std::string mountinfo = platform::ReadMountInfo();
  const char* h = std::getenv("HOME");
  std::string home = h && *h ? h : "";
  const char* cfg = std::getenv("XDG_CONFIG_HOME");
  std::string dirsFile = (cfg && *cfg) ? std::string(cfg) : (home.empty() ? std::string() : home + "/.config");
  std::string userDirs;
  if (!dirsFile.empty()) userDirs = ReadSmallFile((dirsFile + "/user-dirs.dirs").c_str());
  Fill(mountinfo, home, userDirs);
}

void VolumeList::Fill(std::string_view mountinfo, const std::string& home, std::string_view userDirs) {
  entries_.clear();
  // A mount point mounted over again shows only its last (visible) mount.
  std::vector<platform::MountRecord> mounts = platform::ParseMountInfo(mountinfo);
  std::map<std::string, size_t> lastIndex;
  for (size_t i = 0; i < mounts.size(); ++i) lastIndex[mounts[i].mountPoint] = i;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const platform::MountRecord& m = mounts[i];
    if (lastIndex[m.mountPoint] != i) continue;
    if (IsPseudoFileSystem(m.fsType) || UnderPseudoTree(m.mountPoint)) continue;
    if (!IsDirectory(m.mountPoint)) continue;
    entries_.push_back(MakeVolumeEntry(m.mountPoint, MountDeviceText(m), IsMemoryFileSystem(m.fsType), m.mountPoint));
  }
  if (IsDirectory(home)) entries_.push_back(MakeVolumeEntry("HOME", "", false, home));
  for (const AssignPlace& a : ParseUserDirs(userDirs, home)) {
    if (a.path == home || !IsDirectory(a.path)) continue;
    bool seen = false;
    for (const VolumeEntry& e : entries_)
      if (e.kind == kVolumeAssign && EqualNoCase(e.name, a.name)) seen = true;
    if (!seen) entries_.push_back(MakeVolumeEntry(a.name, "", false, a.path));
  }
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const VolumeEntry& a, const VolumeEntry& b) { return CompareVolumes(a, b) < 0; });
}

}  // namespace vl::browser
