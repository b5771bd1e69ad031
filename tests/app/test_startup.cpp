#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "formats/icon.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::app {
namespace {

using vl::test::TempDir;

TEST(ShellOptions, FirstFileWinsAndSwitchesFollowPresence) {
  StartupOptions o;
  ASSERT_TRUE(ReadShellOptions({"a.jpg", "b.jpg"}, o));
  EXPECT_TRUE(o.hasInitialFile);
  EXPECT_EQ(o.initialFile, "a.jpg");
  EXPECT_FALSE(o.browser);

  StartupOptions only3d;
  ASSERT_TRUE(ReadShellOptions({"3D"}, only3d));
  EXPECT_TRUE(only3d.view3D);
  EXPECT_FALSE(only3d.hasInitialFile);

  StartupOptions plain;
  ASSERT_TRUE(ReadShellOptions({}, plain));
  EXPECT_FALSE(plain.browser) << "a plain start hides the browser";

  StartupOptions bad;
  EXPECT_FALSE(ReadShellOptions({"x.jpg", "SIZE=3"}, bad));
  EXPECT_TRUE(bad.browser) << "defaults stay when the template does not match";
  EXPECT_FALSE(bad.hasInitialFile);

  StartupOptions both;
  ASSERT_TRUE(ReadShellOptions({"FS", "br"}, both));
  EXPECT_TRUE(both.fullScreen);
  EXPECT_TRUE(both.browser);
}

TEST(DesktopOptions, ToolTypesSetOptionsByPresence) {
  image::PoolScope pool;
  TempDir t;
  image::ChunkyPtr px(image::chk_Create(4, 4, image::ARGB32, true));
  formats::DiskObject icon;
  icon.toolTypes = {"BROWSER=NO", "3DVIEW"};
  std::string path = t.file("Vistaloom.info");
  ASSERT_TRUE(formats::PutDiskObject(path, icon, px.get()));

  StartupOptions o;
  o.browser = false;
  ReadDesktopOptions(path, {t.file("one.png"), t.file("two.png")}, o);
  EXPECT_TRUE(o.browser) << "BROWSER=NO still sets browser";
  EXPECT_TRUE(o.view3D);
  EXPECT_FALSE(o.fullScreen);
  EXPECT_EQ(o.initialFile, t.file("one.png")) << "only the first project is opened";

  StartupOptions noIcon;
  ReadDesktopOptions(t.file("missing.info"), {}, noIcon);
  EXPECT_TRUE(noIcon.browser);
  EXPECT_FALSE(noIcon.hasInitialFile);
}

}  // namespace
}  // namespace vl::app
