// What the main window remembers between runs, apart from the settings record (whose fixed
// layout stays as it is): its place and size, the splitter, the display's own options and the
// widget style. Kept as "key value" lines in ENVARC:Vistaloom.window.
#pragma once

#include <string>

#include "display/display.h"

namespace vl::app {

inline constexpr const char* kWindowStateFile = "ENVARC:Vistaloom.window";

struct WindowState {
  bool hasGeometry = false;  // the four below were read
  int x = 0, y = 0, width = 0, height = 0;
  bool maximized = false;
  int browserWidth = -1;  // the splitter's first pane; -1: not known
  display::DisplayOptions display;
  int contents = display::kColorAlpha;
  std::string style;  // the widget style chosen with "MUI..."; empty: the toolkit's default
};

// Parses the file's text. Unknown keys, malformed lines and values out of range are skipped,
// so a damaged file gives the defaults for what it cannot say.
WindowState ParseWindowState(const std::string& text);
std::string FormatWindowState(const WindowState& state);

// Reads the file (path: an assign name or a plain path); the defaults when it is missing or
// unreadable. Files over 64 KiB are not read.
WindowState LoadWindowState(const std::string& path = kWindowStateFile);
// Writes the file through a temporary file and a rename; false (the old file kept) on failure.
bool SaveWindowState(const WindowState& state, const std::string& path = kWindowStateFile);

}  // namespace vl::app
