// The "Display" context menu as data: its items, their kinds and check marks, and what
// choosing one does to the display state. The widget builds its menu from this table.
#pragma once

#include <vector>

#include "display/display.h"

namespace vl::display {

inline constexpr const char* kDisplayMenuTitle = "Display";

enum class MenuKind { kSubmenu, kToggle, kRadio };

enum class MenuAction {
  kNone,
  kShrinkToFit,
  kZoomToFit,
  kKeepZoom,
  kFilterNone,
  kFilterBilinear,
  kContentsColorAlpha,
  kContentsColor,
  kContentsAlpha,
  kSubtask,
};

struct DisplayMenuItem {
  const char* label;
  MenuKind kind;
  MenuAction action;  // kNone for a submenu
  std::vector<DisplayMenuItem> children;
};

// The menu's items in order, each top item with its sub-items.
const std::vector<DisplayMenuItem>& DisplayMenu();

// Whether the item carries a check mark in the given state.
bool IsChecked(const DisplayState& state, MenuAction action);

// Applies the item to the state (toggles flip, radio items select). Returns true when the
// picture must be rendered again (everything but "Keep", which only affects later resets).
bool ApplyMenuAction(DisplayState& state, MenuAction action);

}  // namespace vl::display
