// The menu tree as the main window builds it, and the state the window remembers.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/menu_tree.h"
#include "app/window_state.h"
#include "image/chunky.h"
#include "test_support.h"

namespace vl::app {
namespace {

TEST(MenuTree, TitlesItemsKeysAndIdentifiersInOrder) {
  // "T:label" titles, "I:label:key:id" items, "S:..." sub-items, "-" bars.
  std::vector<std::string> seen;
  for (const MenuEntry& e : kMenuTree) {
    const char kind = e.kind == MenuKind::kTitle ? 'T' : e.kind == MenuKind::kItem ? 'I' : 'S';
    if (!e.label) {
      seen.push_back(std::string(1, kind) + "-");
      continue;
    }
    std::string s = std::string(1, kind) + ":" + e.label;
    if (e.kind != MenuKind::kTitle) s += std::string(":") + (e.key ? std::string(1, e.key) : "") + ":";
    s += std::to_string(e.id);
    if (e.flags & kMenuCheck) s += ":check";
    if (e.flags & kMenuRadio) s += ":radio";
    if (e.flags & kMenuChecked) s += ":checked";
    seen.push_back(s);
  }
  const std::vector<std::string> expected = {"T:Project0",
                                             "I:Save Image...:S:3",
                                             "I-",
                                             "I:Iconify:I:4",
                                             "I-",
                                             "I:About...:?:1",
                                             "I:About MUI...::2",
                                             "I-",
                                             "I:Quit:Q:5",
                                             "T:Edit39",
                                             "I:Copy:C:40",
                                             "I:Paste:V:41",
                                             "I:Undo:U:42",
                                             "T:View29",
                                             "I:Browser::30",
                                             "S:Visible:B:31:check",
                                             "S:Details:D:35:check",
                                             "S:Color picker:P:36:check",
                                             "S-",
                                             "S:List:1:32:radio",
                                             "S:Thumbnails:2:33:radio:checked",
                                             "I:Full screen:F:34:check",
                                             "I:EXIF Info:E:37:check",
                                             "I:Information overlay:O:38:check",
                                             "I:Color management::50:check:checked",
                                             "T:Process6",
                                             "I:Resize...:R:10",
                                             "I:Crop...::15",
                                             "I-",
                                             "I:Flip::0",
                                             "S:Horizontal::20",
                                             "S:Vertical::21",
                                             "I:Rotate::0",
                                             "S:+90:]:13",
                                             "S:-90:[:14",
                                             "I:Straighten...::28",
                                             "I-",
                                             "I:Contrast/Gamma...::16",
                                             "I:Grayscale:G:18",
                                             "I:Levels...:L:12",
                                             "I:Negative:N:19",
                                             "I:HSV Balance...:H:8",
                                             "I:RGB Balance...:R:7",
                                             "I-",
                                             "I:Median...:M:11",
                                             "I:Smooth...::9",
                                             "I:Gaussian blur...:B:25",
                                             "I:Noise reduction...::27",
                                             "I:Sharpen...::17",
                                             "I:Glow...:G:26",
                                             "I-",
                                             "I:Insert alpha...:A:22",
                                             "I:Blender...::23",
                                             "I:Insert Text...:I:24",
                                             "T:Tools43",
                                             "I:Thumbnailer...:T:44",
                                             "I:JPEG Transform...:J:45",
                                             "I:Batch convert...::46",
                                             "T:Settings47",
                                             "I:Setup...::49",
                                             "I:MUI...::48"};
  EXPECT_EQ(seen, expected);
}

TEST(MenuTree, EveryKeyReachesExactlyOneItemTheFirstInTheTree) {
  std::set<char> keys;
  std::vector<std::string> second;
  for (size_t i = 0; i < kMenuTree.size(); ++i) {
    if (!kMenuTree[i].key) {
      EXPECT_FALSE(MenuKeyReaches(i));
      continue;
    }
    const bool first = keys.insert(kMenuTree[i].key).second;
    EXPECT_EQ(MenuKeyReaches(i), first) << kMenuTree[i].label;
    if (!first) second.push_back(kMenuTree[i].label);
  }
  EXPECT_EQ(second, (std::vector<std::string>{"RGB Balance...", "Gaussian blur...", "Glow...", "Insert Text..."}));
}

TEST(MenuTree, EnableRules) {
  MenuState open;
  open.toolWindowOpen = true;
  for (const MenuEntry& e : kMenuTree) {
    if (e.id >= 0) {
      EXPECT_FALSE(MenuItemEnabled(e.id, true, open)) << e.id;
    }
  }
  MenuState free;
  EXPECT_TRUE(MenuItemEnabled(kMenuCrop, true, free));
  EXPECT_FALSE(MenuItemEnabled(kMenuCrop, false, free)) << "an item whose window does not exist stays off";
  MenuState view3D;
  view3D.view3D = true;
  EXPECT_FALSE(MenuItemEnabled(kMenuCrop, true, view3D));
  EXPECT_FALSE(MenuItemEnabled(kMenuStraighten, true, view3D));
  EXPECT_TRUE(MenuItemEnabled(kMenuResize, true, view3D));
  view3D.view3DReleased = true;
  EXPECT_TRUE(MenuItemEnabled(kMenuCrop, true, view3D));
}

TEST(WindowState, RoundTripAndHostileText) {
  WindowState s;
  s.hasGeometry = true;
  s.x = -20, s.y = 40, s.width = 900, s.height = 700;
  s.maximized = true;
  s.browserWidth = 240;
  s.display.zoomToFit = true;
  s.display.progressive = false;
  s.contents = display::kAlpha;
  s.style = "Fusion";
  const WindowState back = ParseWindowState(FormatWindowState(s));
  EXPECT_TRUE(back.hasGeometry);
  EXPECT_EQ(back.x, -20);
  EXPECT_EQ(back.height, 700);
  EXPECT_TRUE(back.maximized);
  EXPECT_EQ(back.browserWidth, 240);
  EXPECT_TRUE(back.display.zoomToFit);
  EXPECT_FALSE(back.display.progressive);
  EXPECT_EQ(back.contents, display::kAlpha);
  EXPECT_EQ(back.style, "Fusion");

  // Damaged or hostile lines give the defaults for what they cannot say.
  const WindowState bad =
      ParseWindowState("x 10\ny 10\nwidth 0\nheight 99999999999999\ncontents 7\nbilinear 2\nkeep-zoom 1\nstyle " +
                       std::string(200, 'a') + "\n\x01\xff garbage\nbrowser-width -5\nmaximized yes\n");
  EXPECT_FALSE(bad.hasGeometry) << "a zero width and a height out of range are refused";
  EXPECT_EQ(bad.contents, display::kColorAlpha);
  EXPECT_FALSE(bad.display.bilinear);
  EXPECT_TRUE(bad.display.keepZoom);
  EXPECT_TRUE(bad.style.empty());
  EXPECT_EQ(bad.browserWidth, -1);
  EXPECT_FALSE(bad.maximized);

  test::TempDir t;
  const std::string file = t.file("sub/Vistaloom.window");
  ASSERT_TRUE(SaveWindowState(s, file));
  EXPECT_EQ(LoadWindowState(file).browserWidth, 240);
  EXPECT_FALSE(LoadWindowState(t.file("missing")).hasGeometry);
  ASSERT_TRUE(test::WriteFile(t.file("big"), std::string(70000, 'x')));
  EXPECT_FALSE(LoadWindowState(t.file("big")).hasGeometry);
}

TEST(NativeWords, ConversionBothWaysWithAStride) {
  const uint8_t argb[] = {0x80, 0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66};
  uint8_t words[12] = {};  // one row of two pixels in a row of 12 bytes
  image::ConvertARGB32ToWords(argb, words, 2, 1, 12);
  uint32_t first;
  std::memcpy(&first, words, 4);
  EXPECT_EQ(first, 0x80112233u);
  uint8_t back[8] = {};
  image::ConvertWordsToARGB32(words, 12, back, 2, 1);
  EXPECT_EQ(0, std::memcmp(back, argb, 8));
}

}  // namespace
}  // namespace vl::app
