#include "app/menu_tree.h"

namespace vl::app {

namespace {
constexpr MenuKind T = MenuKind::kTitle;
constexpr MenuKind I = MenuKind::kItem;
constexpr MenuKind S = MenuKind::kSubItem;
}  // namespace

const std::array<MenuEntry, kMenuEntryCount> kMenuTree = {{
    {T, "Project", 0, kMenuProject, kMenuPlain},
    {I, "Save Image...", 'S', kMenuSaveImage, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Iconify", 'I', kMenuIconify, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "About...", '?', kMenuAbout, kMenuPlain},
    {I, "About MUI...", 0, kMenuAboutToolkit, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Quit", 'Q', kMenuQuit, kMenuPlain},
    {T, "Edit", 0, kMenuEdit, kMenuPlain},
    {I, "Copy", 'C', kMenuCopy, kMenuPlain},
    {I, "Paste", 'V', kMenuPaste, kMenuPlain},
    {I, "Undo", 'U', kMenuUndo, kMenuPlain},
    {T, "View", 0, kMenuView, kMenuPlain},
    {I, "Browser", 0, kMenuBrowser, kMenuPlain},
    {S, "Visible", 'B', kMenuBrowserVisible, kMenuCheck},
    {S, "Details", 'D', kMenuDetails, kMenuCheck},
    {S, "Color picker", 'P', kMenuColorPicker, kMenuCheck},
    {S, nullptr, 0, -1, kMenuPlain},
    {S, "List", '1', kMenuBrowserList, kMenuRadio},
    {S, "Thumbnails", '2', kMenuBrowserThumbnails, kMenuRadio | kMenuChecked},
    {I, "Full screen", 'F', kMenuFullScreen, kMenuCheck},
    {I, "EXIF Info", 'E', kMenuExifInfo, kMenuCheck},
    {I, "Information overlay", 'O', kMenuInformationOverlay, kMenuCheck},
    {I, "Color management", 0, kMenuColourManagement, kMenuCheck | kMenuChecked},
    {T, "Process", 0, kMenuProcess, kMenuPlain},
    {I, "Resize...", 'R', kMenuResize, kMenuPlain},
    {I, "Crop...", 0, kMenuCrop, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Flip", 0, 0, kMenuPlain},
    {S, "Horizontal", 0, kMenuFlipHorizontal, kMenuPlain},
    {S, "Vertical", 0, kMenuFlipVertical, kMenuPlain},
    {I, "Rotate", 0, 0, kMenuPlain},
    {S, "+90", ']', kMenuRotateClockwise, kMenuPlain},
    {S, "-90", '[', kMenuRotateCounterClockwise, kMenuPlain},
    {I, "Straighten...", 0, kMenuStraighten, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Contrast/Gamma...", 0, kMenuContrastGamma, kMenuPlain},
    {I, "Grayscale", 'G', kMenuGrayscale, kMenuPlain},
    {I, "Levels...", 'L', kMenuLevels, kMenuPlain},
    {I, "Negative", 'N', kMenuNegative, kMenuPlain},
    {I, "HSV Balance...", 'H', kMenuHSVBalance, kMenuPlain},
    {I, "RGB Balance...", 'R', kMenuRGBBalance, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Median...", 'M', kMenuMedian, kMenuPlain},
    {I, "Smooth...", 0, kMenuSmooth, kMenuPlain},
    {I, "Gaussian blur...", 'B', kMenuGaussianBlur, kMenuPlain},
    {I, "Noise reduction...", 0, kMenuNoiseReduction, kMenuPlain},
    {I, "Sharpen...", 0, kMenuSharpen, kMenuPlain},
    {I, "Glow...", 'G', kMenuGlow, kMenuPlain},
    {I, nullptr, 0, -1, kMenuPlain},
    {I, "Insert alpha...", 'A', kMenuInsertAlpha, kMenuPlain},
    {I, "Blender...", 0, kMenuBlender, kMenuPlain},
    {I, "Insert Text...", 'I', kMenuInsertText, kMenuPlain},
    {T, "Tools", 0, kMenuTools, kMenuPlain},
    {I, "Thumbnailer...", 'T', kMenuThumbnailer, kMenuPlain},
    {I, "JPEG Transform...", 'J', kMenuJpegTransform, kMenuPlain},
    {I, "Batch convert...", 0, kMenuBatchConvert, kMenuPlain},
    {T, "Settings", 0, kMenuSettings, kMenuPlain},
    {I, "Setup...", 0, kMenuSetup, kMenuPlain},
    {I, "MUI...", 0, kMenuToolkitSettings, kMenuPlain},
}};

bool MenuKeyReaches(size_t index) {
  if (index >= kMenuTree.size() || kMenuTree[index].key == 0) return false;
  for (size_t i = 0; i < index; ++i)
    if (kMenuTree[i].key == kMenuTree[index].key) return false;
  return true;
}

bool MenuItemEnabled(int id, bool available, const MenuState& state) {
  if (!available) return false;
  if (state.toolWindowOpen && DisabledWhileToolWindowOpen(id)) return false;
  if (state.view3D && !state.view3DReleased && DisabledIn3DView(id)) return false;
  return true;
}

}  // namespace vl::app
