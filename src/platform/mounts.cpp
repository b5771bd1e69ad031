#include "platform/mounts.h"

#include <sys/sysmacros.h>

#include <cstddef>
#include <fstream>

namespace vl::platform {
namespace {

// No sane mount table is larger than this.
constexpr size_t kMaxMountInfoBytes = size_t{16} << 20;

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

std::string DecodeOctal(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i > 3 && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
        IsOctal(field[i + 3])) {
      int v = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (v > 0 && v < 256) {
        out.push_back(static_cast<char>(v));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// A decimal number of at most 10 digits.
bool ParseNumber(std::string_view s, unsigned long& out) {
  if (s.empty() || s.size() > 10) return false;
  unsigned long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned long>(c - '0');
  }
  out = v;
  return true;
}

bool ParseDeviceNumber(std::string_view field, dev_t& device) {
  size_t colon = field.find(':');
  if (colon == std::string_view::npos) return false;
  unsigned long major = 0, minor = 0;
  if (!ParseNumber(field.substr(0, colon), major) || !ParseNumber(field.substr(colon + 1), minor)) return false;
  if (major > 0xFFFFFFFFul || minor > 0xFFFFFFFFul) return false;
  device = makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor));
  return true;
}

}  // namespace

std::vector<MountRecord> ParseMountInfo(std::string_view text) {
  std::vector<MountRecord> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string_view> f = SplitFields(line);
    if (f.size() < 9) continue;
    size_t dash = 0;
    for (size_t i = 6; i < f.size(); ++i) {
      if (f[i] == "-") {
        dash = i;
        break;
      }
    }
    if (dash == 0 || dash + 2 >= f.size()) continue;
    MountRecord m;
    m.hasDevice = ParseDeviceNumber(f[2], m.device);
    m.mountPoint = DecodeOctal(f[4]);
    m.fsType = DecodeOctal(f[dash + 1]);
    m.source = DecodeOctal(f[dash + 2]);
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') continue;
    out.push_back(std::move(m));
  }
  return out;
}

std::string ReadMountInfo() {
  std::ifstream in("/proc/self/mountinfo", std::ios::binary);
  if (!in) return {};
  std::string text;
  char buf[8192];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxMountInfoBytes) return {};
  }
  return text;
}

}  // namespace vl::platform
