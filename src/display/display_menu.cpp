#include "display/display_menu.h"

namespace vl::display {

const std::vector<DisplayMenuItem>& DisplayMenu() {
  static const std::vector<DisplayMenuItem> menu = {
      {"Auto image size",
       MenuKind::kSubmenu,
       MenuAction::kNone,
       {{"Shrink to fit display area", MenuKind::kToggle, MenuAction::kShrinkToFit, {}},
        {"Zoom to fit display area", MenuKind::kToggle, MenuAction::kZoomToFit, {}}}},
      {"Zoom", MenuKind::kSubmenu, MenuAction::kNone, {{"Keep", MenuKind::kToggle, MenuAction::kKeepZoom, {}}}},
      {"Filtering",
       MenuKind::kSubmenu,
       MenuAction::kNone,
       {{"None", MenuKind::kRadio, MenuAction::kFilterNone, {}},
        {"Bilinear", MenuKind::kRadio, MenuAction::kFilterBilinear, {}}}},
      {"Contents",
       MenuKind::kSubmenu,
       MenuAction::kNone,
       {{"Color + Alpha", MenuKind::kRadio, MenuAction::kContentsColorAlpha, {}},
        {"Color", MenuKind::kRadio, MenuAction::kContentsColor, {}},
        {"Alpha", MenuKind::kRadio, MenuAction::kContentsAlpha, {}}}},
      {"Subtask", MenuKind::kToggle, MenuAction::kSubtask, {}},
  };
  return menu;
}

bool IsChecked(const DisplayState& s, MenuAction action) {
  switch (action) {
    case MenuAction::kShrinkToFit: return s.options.shrinkToFit;
    case MenuAction::kZoomToFit: return s.options.zoomToFit;
    case MenuAction::kKeepZoom: return s.options.keepZoom;
    case MenuAction::kFilterNone: return !s.options.bilinear;
    case MenuAction::kFilterBilinear: return s.options.bilinear;
    case MenuAction::kContentsColorAlpha: return s.contents == kColorAlpha;
    case MenuAction::kContentsColor: return s.contents == kColor;
    case MenuAction::kContentsAlpha: return s.contents == kAlpha;
    case MenuAction::kSubtask: return s.options.progressive;
    case MenuAction::kNone: return false;
  }
  return false;
}

bool ApplyMenuAction(DisplayState& s, MenuAction action) {
  DisplayOptions o = s.options;
  switch (action) {
    case MenuAction::kShrinkToFit: o.shrinkToFit = !o.shrinkToFit; break;
    case MenuAction::kZoomToFit: o.zoomToFit = !o.zoomToFit; break;
    case MenuAction::kKeepZoom: s.options.keepZoom = !s.options.keepZoom; return false;
    case MenuAction::kFilterNone: o.bilinear = false; break;
    case MenuAction::kFilterBilinear: o.bilinear = true; break;
    case MenuAction::kContentsColorAlpha: s.contents = kColorAlpha; return true;
    case MenuAction::kContentsColor: s.contents = kColor; return true;
    case MenuAction::kContentsAlpha: s.contents = kAlpha; return true;
    case MenuAction::kSubtask: s.options.progressive = !s.options.progressive; return true;
    case MenuAction::kNone: return false;
  }
  s.ApplyOptions(o);
  return true;
}

}  // namespace vl::display
