#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "browser/browser_cli.h"
#include "browser/dir_entry.h"
#include "browser_test_util.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::browser {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

class BrowserCli : public test::PoolTest {
 protected:
  BrowserCli()
      : env_("VISTALOOM_ASSIGN_ENV", tmp_.file("env")),
        envarc_("VISTALOOM_ASSIGN_ENVARC", tmp_.file("envarc")),
        progdir_("VISTALOOM_ASSIGN_PROGDIR", tmp_.file("progdir") + ":" + VISTALOOM_SOURCE_DIR "/data") {
    EXPECT_TRUE(platform::MakeDirectories(tmp_.file("pics/sub")));
  }
  int Run(const std::string& args, std::string& out) {
    return test::RunCommand(test::ShellQuote(VISTALOOM_BINARY) + " " + args + " 2>/dev/null", out);
  }
  test::TempDir tmp_;
  test::ScopedEnv env_, envarc_, progdir_;
};

TEST_F(BrowserCli, ListShowsTypedRowsSorted) {
  ASSERT_TRUE(test::WritePng(tmp_.file("pics/b.png"), 4, 4));
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("pics/a.jpg"), 64, 64));
  ASSERT_TRUE(test::WriteFile(tmp_.file("pics/notes.txt"), std::string("hello\n")));
  std::string out;
  ASSERT_EQ(Run("--list " + test::ShellQuote(tmp_.file("pics")), out), 0);
  std::vector<std::string> rows = Lines(out);
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_EQ(rows[0].substr(0, rows[0].find('\t')), "a.jpg");
  EXPECT_NE(rows[0].find("\tToday\tJPEG"), std::string::npos) << rows[0];
  EXPECT_EQ(rows[1].rfind("b.png\t", 0), 0u);
  EXPECT_EQ(rows[2], std::string("sub\t") + kDrawerText + "\tToday\tDirectory");

  ASSERT_EQ(Run("--list " + test::ShellQuote(tmp_.file("pics")) + " --all --sort size --reverse", out), 0);
  rows = Lines(out);
  ASSERT_EQ(rows.size(), 4u) << out;
  EXPECT_EQ(rows[0].rfind("a.jpg\t", 0), 0u);
  EXPECT_EQ(rows[2].rfind("notes.txt\t6\tToday\t", 0), 0u) << rows[2];
  EXPECT_EQ(rows[2].find("Unknown"), std::string::npos);
  EXPECT_EQ(rows[3].rfind("sub\t", 0), 0u);
}

TEST_F(BrowserCli, ThumbnailScanReportsWhereEachPictureCameFrom) {
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("pics/big.jpg"), 240, 160));
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("pics/exif.jpg"), 240, 160, 60, 40));
  ASSERT_TRUE(test::WriteFile(tmp_.file("pics/notes.txt"), std::string("hello\n")));
  std::string out;
  ASSERT_EQ(Run("--thumbnail-scan " + test::ShellQuote(tmp_.file("pics")), out), 0);
  // The settings' defaults: a box of 120 x 90.
  EXPECT_EQ(out,
            "sub\t40x32\ticon\n"
            "big.jpg\t120x80\tdecoded\n"
            "exif.jpg\t120x80\texif\n"
            "notes.txt\t28x36\ticon\n"
            "Ready...\n");
  ASSERT_EQ(Run("--thumbnail-scan " + test::ShellQuote(tmp_.file("pics")), out), 0);
  EXPECT_NE(out.find("big.jpg\t120x80\tcache\n"), std::string::npos) << out;
  EXPECT_NE(out.find("exif.jpg\t120x80\texif\n"), std::string::npos) << out;
}

TEST_F(BrowserCli, VolumesListHome) {
  test::ScopedEnv home("HOME", tmp_.path());
  std::string out;
  ASSERT_EQ(Run("--volumes", out), 0);
  EXPECT_NE(out.find("HOME:\t\t" + tmp_.path() + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("/:\t["), std::string::npos) << out;
}

TEST_F(BrowserCli, UsageErrorsAndUnreadableDirectories) {
  std::string out;
  EXPECT_EQ(Run("--list", out), 2);
  EXPECT_EQ(Run("--list " + tmp_.file("pics") + " --sort colour", out), 2);
  EXPECT_EQ(Run("--volumes --all", out), 2);
  EXPECT_EQ(Run("--list " + tmp_.file("missing"), out), 1);
  EXPECT_EQ(Run("--thumbnail-scan " + tmp_.file("missing"), out), 1);
  int status = -1;
  EXPECT_FALSE(RunBrowserCli({"--headless", "x.png"}, status));
  EXPECT_FALSE(RunBrowserCli({"--", "--list"}, status));
  EXPECT_EQ(status, -1);
}

}  // namespace
}  // namespace vl::browser
