// The main window's menu tree: every title, item and sub-item in order, with its label, its
// shortcut key (Ctrl + the key), its identifier and its check or radio flag. Items are looked
// up by identifier to enable, disable, check or uncheck them.
#pragma once

#include <array>
#include <cstddef>

namespace vl::app {

// A bar is an item or sub-item without a label.
enum class MenuKind { kTitle, kItem, kSubItem };

enum MenuFlag : unsigned {
  kMenuPlain = 0,
  kMenuCheck = 1,    // a check mark that toggles
  kMenuRadio = 2,    // a check mark exclusive with its radio siblings
  kMenuChecked = 4,  // starts checked
};

// Identifiers (several titles and submenus share 0).
enum MenuId : int {
  kMenuProject = 0,
  kMenuAbout = 1,
  kMenuAboutToolkit = 2,
  kMenuSaveImage = 3,
  kMenuIconify = 4,
  kMenuQuit = 5,
  kMenuProcess = 6,
  kMenuRGBBalance = 7,
  kMenuHSVBalance = 8,
  kMenuSmooth = 9,
  kMenuResize = 10,
  kMenuMedian = 11,
  kMenuLevels = 12,
  kMenuRotateClockwise = 13,
  kMenuRotateCounterClockwise = 14,
  kMenuCrop = 15,
  kMenuContrastGamma = 16,
  kMenuSharpen = 17,
  kMenuGrayscale = 18,
  kMenuNegative = 19,
  kMenuFlipHorizontal = 20,
  kMenuFlipVertical = 21,
  kMenuInsertAlpha = 22,
  kMenuBlender = 23,
  kMenuInsertText = 24,
  kMenuGaussianBlur = 25,
  kMenuGlow = 26,
  kMenuNoiseReduction = 27,
  kMenuStraighten = 28,
  kMenuView = 29,
  kMenuBrowser = 30,
  kMenuBrowserVisible = 31,
  kMenuBrowserList = 32,
  kMenuBrowserThumbnails = 33,
  kMenuFullScreen = 34,
  kMenuDetails = 35,
  kMenuColorPicker = 36,
  kMenuExifInfo = 37,
  kMenuInformationOverlay = 38,
  kMenuEdit = 39,
  kMenuCopy = 40,
  kMenuPaste = 41,
  kMenuUndo = 42,
  kMenuTools = 43,
  kMenuThumbnailer = 44,
  kMenuJpegTransform = 45,
  kMenuBatchConvert = 46,
  kMenuSettings = 47,
  kMenuToolkitSettings = 48,
  kMenuSetup = 49,
  kMenuColourManagement = 50,
};

struct MenuEntry {
  MenuKind kind;
  const char* label;  // null for a bar
  char key;           // 0 for none
  int id;             // -1 for a bar
  unsigned flags;
};

inline constexpr size_t kMenuEntryCount = 61;
extern const std::array<MenuEntry, kMenuEntryCount> kMenuTree;

// Whether entry `index` of the tree gets its key: a key that stands on two items reaches the
// first of them in the tree, never both and never neither.
bool MenuKeyReaches(size_t index);

// The identifiers a tool window disables while it is open (every item from 0 to 50).
inline constexpr bool DisabledWhileToolWindowOpen(int id) {
  return id >= 0 && id <= 50;
}

// The items that the 3D view mode disables until a tool window has been opened and closed.
inline constexpr bool DisabledIn3DView(int id) {
  return id == kMenuCrop || id == kMenuStraighten;
}

// What decides whether an item can be chosen.
struct MenuState {
  bool toolWindowOpen = false;
  bool view3D = false;
  bool view3DReleased = false;  // a tool window has been opened and closed since the start
};
// available: the program has what the item does (its window exists).
bool MenuItemEnabled(int id, bool available, const MenuState& state);

}  // namespace vl::app
