#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "formats/icon.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "test_support.h"

namespace vl::app {
namespace {

using vl::test::RunCommand;
using vl::test::ShellQuote;
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

TEST(FrontEnd, OptionsAnywhereAndDoubleDash) {
  FrontEndOptions fe;
  std::string err;
  ASSERT_TRUE(
      ParseFrontEnd({"a.png", "--headless", "--exec", "Scale WIDTH 10", "--config=c.cfg", "--", "--odd.png"}, fe, err));
  EXPECT_TRUE(fe.headless);
  EXPECT_EQ(fe.execs, (std::vector<std::string>{"Scale WIDTH 10"}));
  EXPECT_EQ(fe.configFile, "c.cfg");
  EXPECT_EQ(fe.rest, (std::vector<std::string>{"a.png", "--odd.png"}));
  FrontEndOptions bad;
  EXPECT_FALSE(ParseFrontEnd({"--frobnicate"}, bad, err));
  EXPECT_FALSE(ParseFrontEnd({"--script"}, bad, err));
  EXPECT_FALSE(ParseFrontEnd({"--headless=yes"}, bad, err));
}

std::string Binary() {
  return ShellQuote(VISTALOOM_BINARY);
}

TEST(Headless, PrintsTheFiveStatusLinesForTheSample) {
  std::string out;
  std::string sample = std::string(VISTALOOM_SOURCE_DIR) + "/data/samples/testcard.png";
  int rc = RunCommand(Binary() + " --headless " + ShellQuote(sample), out);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("Title: " + sample + " (320x240)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Width: 320\nHeight: 240\nFormat: PNG\nLoaded in: "), std::string::npos) << out;
  EXPECT_NE(out.find("s\n", out.find("Loaded in: ")), std::string::npos);
}

TEST(Headless, FailedLoadAndNoFile) {
  std::string out;
  int rc = RunCommand(Binary() + " --headless /nonexistent/x.png", out);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "Title: Vistaloom: Failed to load image\nWidth: 0\nHeight: 0\nFormat: \nLoaded in: 0.00s\n");
  rc = RunCommand(Binary() + " --headless", out);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "Title: Vistaloom\nWidth: 0\nHeight: 0\nFormat: \nLoaded in: 0.00s\n");
  rc = RunCommand(Binary() + " --headless UNKNOWN=1 x.png", out);
  EXPECT_EQ(rc, 0) << "a command line that does not match opens nothing";
  EXPECT_EQ(out.substr(0, 16), "Title: Vistaloom");
}

TEST(Headless, VersionHelpAndUsageErrors) {
  std::string out;
  EXPECT_EQ(RunCommand(Binary() + " --version", out), 0);
  EXPECT_EQ(out, "Vistaloom 0.8.5 (21.08.06)\n");
  EXPECT_EQ(RunCommand(Binary() + " --help", out), 0);
  EXPECT_NE(out.find("FILE/M"), std::string::npos);
  EXPECT_EQ(RunCommand(Binary() + " --nope", out, true), 2);
  EXPECT_NE(out.find("unknown option --nope"), std::string::npos);
}

}  // namespace
}  // namespace vl::app

namespace vl::app {
namespace {

TEST(FrontEndActions, CacheMaintenanceUsesTheSettingsFile) {
  TempDir t;
  settings::Settings s = settings::DefaultSettings();
  s.cachePath = t.file("cache") + "/";
  ASSERT_TRUE(platform::MakeDirectories(t.file("cache/home")));
  ASSERT_TRUE(vl::test::WriteFile(t.file("cache/home/x.jpg"), std::string(2048, 'x')));
  std::string cfg = t.file("Vistaloom.config");
  ASSERT_TRUE(settings::WriteSettingsFile(cfg, s));
  std::string out;
  EXPECT_EQ(RunCommand(Binary() + " --config " + ShellQuote(cfg) + " --cache-size", out), 0);
  EXPECT_EQ(out, "2048 bytes\n");
  EXPECT_EQ(RunCommand(Binary() + " --config " + ShellQuote(cfg) + " --cache-clear", out), 0);
  EXPECT_EQ(out, "0.000 Mbytes\n");
  EXPECT_FALSE(std::filesystem::exists(t.file("cache/home/x.jpg")));
  EXPECT_EQ(RunCommand(Binary() + " --config " + ShellQuote(t.file("missing.config")) + " --cache-size", out, true), 2);
  EXPECT_NE(out.find("cannot read the settings file"), std::string::npos);
  EXPECT_EQ(RunCommand(Binary() + " --cache-size --cache-clear", out, true), 2);
}

TEST(FrontEndActions, ExifOfAFileWithout) {
  std::string out;
  std::string sample = std::string(VISTALOOM_SOURCE_DIR) + "/data/samples/testcard.png";
  EXPECT_EQ(RunCommand(Binary() + " --exif " + ShellQuote(sample), out), 1);
  EXPECT_EQ(out, "No EXIF data\n");
}

}  // namespace
}  // namespace vl::app
