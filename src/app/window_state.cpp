#include "app/window_state.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "formats/file_read.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::app {
namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;
constexpr int kMaxCoordinate = 1 << 20;

bool ParseInt(const std::string& text, int lo, int hi, int& out) {
  if (text.empty() || text.size() > 12) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseBool(const std::string& text, bool& out) {
  int v = 0;
  if (!ParseInt(text, 0, 1, v)) return false;
  out = v != 0;
  return true;
}

}  // namespace

WindowState ParseWindowState(const std::string& text) {
  WindowState s;
  int x = 0, y = 0, w = 0, h = 0, have = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 1024) continue;
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space), value = line.substr(space + 1);
    int v = 0;
    if (key == "x" && ParseInt(value, -kMaxCoordinate, kMaxCoordinate, x)) {
      have |= 1;
    } else if (key == "y" && ParseInt(value, -kMaxCoordinate, kMaxCoordinate, y)) {
      have |= 2;
    } else if (key == "width" && ParseInt(value, 1, kMaxCoordinate, w)) {
      have |= 4;
    } else if (key == "height" && ParseInt(value, 1, kMaxCoordinate, h)) {
      have |= 8;
    } else if (key == "maximized") {
      ParseBool(value, s.maximized);
    } else if (key == "browser-width" && ParseInt(value, 0, kMaxCoordinate, v)) {
      s.browserWidth = v;
    } else if (key == "bilinear") {
      ParseBool(value, s.display.bilinear);
    } else if (key == "zoom-to-fit") {
      ParseBool(value, s.display.zoomToFit);
    } else if (key == "shrink-to-fit") {
      ParseBool(value, s.display.shrinkToFit);
    } else if (key == "keep-zoom") {
      ParseBool(value, s.display.keepZoom);
    } else if (key == "progressive") {
      ParseBool(value, s.display.progressive);
    } else if (key == "contents" && ParseInt(value, display::kColorAlpha, display::kAlpha, v)) {
      s.contents = v;
    } else if (key == "style" && value.size() <= 64) {
      s.style = value;
    }
  }
  if (have == 15) {
    s.hasGeometry = true;
    s.x = x, s.y = y, s.width = w, s.height = h;
  }
  return s;
}

std::string FormatWindowState(const WindowState& s) {
  std::ostringstream out;
  if (s.hasGeometry) out << "x " << s.x << "\ny " << s.y << "\nwidth " << s.width << "\nheight " << s.height << '\n';
  out << "maximized " << (s.maximized ? 1 : 0) << '\n';
  if (s.browserWidth >= 0) out << "browser-width " << s.browserWidth << '\n';
  out << "bilinear " << s.display.bilinear << "\nzoom-to-fit " << s.display.zoomToFit << "\nshrink-to-fit "
      << s.display.shrinkToFit << "\nkeep-zoom " << s.display.keepZoom << "\nprogressive " << s.display.progressive
      << "\ncontents " << s.contents << '\n';
  // A style name is one line of printable text.
  bool printable = !s.style.empty() && s.style.size() <= 64;
  for (char c : s.style) printable = printable && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
  if (printable) out << "style " << s.style << '\n';
  return out.str();
}

WindowState LoadWindowState(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!formats::ReadWholeFile(platform::ResolvePath(path).c_str(), bytes, kMaxFileBytes)) return WindowState{};
  return ParseWindowState(std::string(bytes.begin(), bytes.end()));
}

bool SaveWindowState(const WindowState& state, const std::string& path) {
  const std::string resolved = platform::ResolvePath(path);
  const std::string_view file = platform::FilePart(resolved);
  if (file.size() < resolved.size()) platform::MakeDirectories(resolved.substr(0, resolved.size() - file.size()), 0700);
  const std::string text = FormatWindowState(state);
  return platform::WriteFileAtomically(resolved, text.data(), text.size());
}

}  // namespace vl::app
