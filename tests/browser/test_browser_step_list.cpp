#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser_step_list.h"
#include "browser/dir_list.h"
#include "browser_test_util.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::browser {
namespace {

using StepListTest = test::PoolTest;

TEST_F(StepListTest, ControllerSeesTheBrowsersEntries) {
  test::TempDir tmp;
  ASSERT_TRUE(platform::MakeDirectories(tmp.file("a/sub")));
  ASSERT_TRUE(platform::MakeDirectories(tmp.file("b")));
  ASSERT_TRUE(test::WritePng(tmp.file("a/p.png"), 4, 4));
  ASSERT_TRUE(test::WriteFile(tmp.file("a/t.txt"), std::string("text\n")));
  ASSERT_TRUE(test::WritePng(tmp.file("b/q.png"), 4, 4));
  DirList list;
  list.SetShowNonImageFiles(true);
  DirBrowser browser(&list);
  std::vector<std::string> opened;
  browser.SetOpenCallback([&](const std::string& p) { opened.push_back(p); });
  app::BrowserStepList steps(browser);
  steps.SetPath(tmp.file("a"));
  ASSERT_TRUE(test::WaitForScan(list));
  ASSERT_EQ(steps.EntryCount(), 3);  // p.png, t.txt, sub
  EXPECT_EQ(steps.SelectedIndex(), -1);
  EXPECT_TRUE(steps.IsPicture(0));
  EXPECT_FALSE(steps.IsPicture(1));
  EXPECT_TRUE(steps.IsDirectory(2));
  EXPECT_FALSE(steps.IsPicture(2));
  EXPECT_EQ(steps.FullPath(1), tmp.file("a/t.txt"));
  EXPECT_EQ(steps.FullPath(7), "");
  steps.Select(0);
  EXPECT_EQ(steps.SelectedIndex(), 0);
  EXPECT_EQ(opened, std::vector<std::string>{tmp.file("a/p.png")});
  steps.Select(2);  // a directory is only selected
  EXPECT_EQ(opened.size(), 1u);
  steps.Select(-1);
  EXPECT_EQ(steps.SelectedIndex(), -1);
  // A picture opened elsewhere takes the browser to its directory.
  steps.CurrentFileChanged(tmp.file("b/q.png"));
  EXPECT_EQ(browser.CurrentDirectory(), tmp.file("b"));
  EXPECT_EQ(steps.SelectedIndex(), list.FindEntry("q.png"));
  ASSERT_TRUE(test::WaitForScan(list));
}

}  // namespace
}  // namespace vl::browser
