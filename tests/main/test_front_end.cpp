#include <gtest/gtest.h>

#include <filesystem>

#include "main/options.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "test_support.h"

namespace vl::main {
namespace {

using vl::test::RunCommand;
using vl::test::ShellQuote;
using vl::test::TempDir;

std::string Binary();

TEST(FrontEnd, ToolsKeepTheirOptionsAndTheFrontEndTakesItsOwn) {
  struct Case {
    std::vector<std::string> argv;
    std::string tool;
    std::vector<std::string> rest;
    std::string config;
  };
  const Case cases[] = {
      {{"--batch-convert", "a", "b", "--width", "10", "--config", "c.cfg"},
       "--batch-convert",
       {"--batch-convert", "a", "b", "--width", "10"},
       "c.cfg"},
      {{"--config=c.cfg", "--list", "d", "--sort", "size"}, "--list", {"--list", "d", "--sort", "size"}, "c.cfg"},
      // The value of a front-end option is never taken for a tool word.
      {{"--exec", "--volumes", "x.png"}, "", {"x.png"}, ""},
      // After a lone "--" nothing names a tool, and the "--" stays for the tool's parser.
      {{"--thumbnailer", "d", "--", "--odd"}, "--thumbnailer", {"--thumbnailer", "d", "--", "--odd"}, ""},
      {{"--", "--thumbnailer"}, "", {"--thumbnailer"}, ""},
  };
  for (const Case& c : cases) {
    FrontEndOptions fe;
    std::string err;
    ASSERT_TRUE(ParseFrontEnd(c.argv, fe, err)) << err;
    EXPECT_EQ(fe.tool, c.tool);
    EXPECT_EQ(fe.rest, c.rest);
    EXPECT_EQ(fe.configFile, c.config);
  }
  FrontEndOptions fe;
  std::string err;
  ASSERT_TRUE(ParseFrontEnd({"--volumes", "--serve"}, fe, err));
  EXPECT_EQ(OptionOutsideTool(fe), "--serve");
  FrontEndOptions unknown;
  EXPECT_FALSE(ParseFrontEnd({"--width", "3", "x.png"}, unknown, err)) << "without a tool, unknown options are errors";
}

TEST(FrontEnd, EveryToolReadsTheSettingsFileOfConfig) {
  image::PoolScope pool;
  TempDir t;
  ASSERT_TRUE(platform::MakeDirectories(t.file("src")));
  ASSERT_TRUE(platform::MakeDirectories(t.file("dst")));
  ASSERT_TRUE(vl::test::WriteJpegWithOrientation(t.file("src/a.jpg"), 40, 30, 1));
  ASSERT_TRUE(vl::test::WriteFile(t.file("src/a.info"), std::string("x")));
  settings::Settings s = settings::DefaultSettings();
  s.showIconFiles = true;
  const std::string cfg = t.file("icons.config");
  ASSERT_TRUE(settings::WriteSettingsFile(cfg, s));
  const std::string env = "VISTALOOM_ASSIGN_ENV=" + ShellQuote(t.file("env")) +
                          " VISTALOOM_ASSIGN_ENVARC=" + ShellQuote(t.file("envarc")) + " ";
  std::string out;
  // The list shows .info files only with the setting of the given file.
  EXPECT_EQ(RunCommand(env + Binary() + " --list " + ShellQuote(t.file("src")) + " --all", out), 0);
  EXPECT_EQ(out.find("a.info"), std::string::npos) << out;
  EXPECT_EQ(
      RunCommand(env + Binary() + " --list " + ShellQuote(t.file("src")) + " --all" + " --config " + ShellQuote(cfg),
                 out),
      0);
  EXPECT_NE(out.find("a.info"), std::string::npos) << out;
  // The batch tools take the option too (they read no setting).
  EXPECT_EQ(RunCommand(env + Binary() + " --config " + ShellQuote(cfg) + " --batch-convert " +
                           ShellQuote(t.file("src")) + " " + ShellQuote(t.file("dst")),
                       out, true),
            0)
      << out;
  EXPECT_TRUE(std::filesystem::exists(t.file("dst/a.jpg")));
  // A file that cannot be read, and an option that has no meaning for a tool, are usage errors.
  EXPECT_EQ(RunCommand(env + Binary() + " --list " + ShellQuote(t.file("src")) + " --config " +
                           ShellQuote(t.file("missing.config")),
                       out, true),
            2);
  EXPECT_NE(out.find("cannot read the settings file"), std::string::npos) << out;
  EXPECT_EQ(RunCommand(Binary() + " --volumes --exec 'LoadNext'", out, true), 2);
  EXPECT_NE(out.find("option --exec does not go with --volumes"), std::string::npos) << out;
}

TEST(FrontEnd, TheGuiTakesTheSettingsOfConfig) {
  // The real program with its window on the offscreen platform, asked through its port: the
  // orientation setting of the given file turns the picture upright.
  image::PoolScope pool;
  TempDir t;
  ASSERT_TRUE(vl::test::WriteJpegWithOrientation(t.file("six.jpg"), 64, 48, 6));
  settings::Settings s = settings::DefaultSettings();
  s.correctOrientation = true;
  ASSERT_TRUE(settings::WriteSettingsFile(t.file("upright.config"), s));
  s.correctOrientation = false;
  ASSERT_TRUE(settings::WriteSettingsFile(t.file("asis.config"), s));
  const std::string cmd = ShellQuote(VISTALOOM_CMD_BINARY);
  auto sizeWith = [&](const std::string& config) {
    std::string out;
    const std::string script = "export XDG_RUNTIME_DIR=" + ShellQuote(t.path()) + " QT_QPA_PLATFORM=offscreen; " +
                               Binary() + " --config " + ShellQuote(t.file(config)) + " " +
                               ShellQuote(t.file("six.jpg")) +
                               " >/dev/null 2>&1 & pid=$!; "
                               "for i in $(seq 1 300); do w=$(" +
                               cmd + " ImageWidth 2>/dev/null) && break; sleep 0.1; done; h=$(" + cmd +
                               " ImageHeight); " + cmd + " QUIT >/dev/null; wait $pid; echo \"$w $h exit=$?\"";
    RunCommand(script, out);
    return out;
  };
  EXPECT_EQ(sizeWith("upright.config"), "RC 48 RC 64 exit=0\n");
  EXPECT_EQ(sizeWith("asis.config"), "RC 64 RC 48 exit=0\n");
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
}  // namespace vl::main

namespace vl::main {
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
}  // namespace vl::main
