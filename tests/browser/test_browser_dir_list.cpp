#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browser/dir_list.h"
#include "browser_test_util.h"
#include "platform/paths.h"
#include "tasks/port.h"
#include "test_support.h"

namespace vl::browser {
namespace {

class DirListTest : public test::PoolTest {
 protected:
  void Pictures(std::initializer_list<const char*> names) {
    for (const char* n : names) ASSERT_TRUE(test::WritePng(tmp_.file(n), 4, 3));
  }
  void Texts(std::initializer_list<const char*> names) {
    for (const char* n : names) ASSERT_TRUE(test::WriteFile(tmp_.file(n), std::string("plain words\n")));
  }
  void Dirs(std::initializer_list<const char*> names) {
    for (const char* n : names) ASSERT_TRUE(platform::MakeDirectories(tmp_.file(n)));
  }
  std::vector<std::string> Names(DirList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.EntryCount(); ++i) out.push_back(list.GetEntry(i)->name);
    return out;
  }
  void Load(DirList& list) {
    list.SetStatusCallback([this](const std::string& s) { statuses_.push_back(s); });
    list.SetInitialDirectory(tmp_.path());
    list.LoadDirectory();
  }
  test::TempDir tmp_;
  std::vector<std::string> statuses_;
};

TEST_F(DirListTest, IconFilesAreHiddenByInfoAnywhereInTheName) {
  Pictures({"a.png", "picture.info.png", "b.png.info"});
  Dirs({"x.info", "sub"});
  DirList list;
  list.SetShowNonImageFiles(true);
  Load(list);
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a.png", "sub"}));
  list.SetShowIconFiles(true);
  list.LoadDirectory();
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a.png", "b.png.info", "picture.info.png", "sub", "x.info"}));
}

TEST_F(DirListTest, PicturesOnlyAreTypedWhileReading) {
  Pictures({"one.png", "two.png", "three.png"});
  Texts({"notes.txt", "readme"});
  Dirs({"sub"});
  DirList list;
  bool called = false;
  list.SetLoadedCallback([&](void* data, DirList& l) { called = data == &list && &l == &list; }, &list);
  Load(list);
  EXPECT_TRUE(called);
  ASSERT_EQ(Names(list), (std::vector<std::string>{"one.png", "three.png", "two.png", "sub"}));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(list.GetEntry(i)->typeName.has_value());
    EXPECT_EQ(*list.GetEntry(i)->typeName, "PNG");
    EXPECT_EQ(list.GetEntry(i)->typeGroup, 0x70696374u);
  }
  EXPECT_EQ(list.StatusText(), kStatusScanning);
  EXPECT_TRUE(list.Busy());
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(statuses_, (std::vector<std::string>{kStatusReading, kStatusScanning, kStatusReady}));
  EXPECT_FALSE(list.Busy());
  EXPECT_FALSE(list.TimerInstalled());
}

TEST_F(DirListTest, NonImageFilesAreShownAtOnceAndTypedInTheBackground) {
  Pictures({"p.png"});
  Texts({"t1.txt", "t2.txt"});
  DirList list;
  list.SetShowNonImageFiles(true);
  std::vector<int> redrawn;
  list.SetRowChangedCallback([&](int pos) { redrawn.push_back(pos); });
  Load(list);
  EXPECT_EQ(list.EntryCount(), 3);
  EXPECT_TRUE(list.TimerInstalled());
  ASSERT_TRUE(test::WaitForScan(list));
  std::sort(redrawn.begin(), redrawn.end());
  EXPECT_EQ(redrawn, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(TypeText(*list.GetEntry(0)), "PNG");
  EXPECT_NE(TypeText(*list.GetEntry(1)), "Unknown");
  EXPECT_EQ(statuses_.back(), kStatusReady);
}

TEST_F(DirListTest, WithoutTheScannerNonImageFilesStayUnknown) {
  Pictures({"p.png"});
  Texts({"t.txt"});
  tasks::testing::FailPortCreation(1);
  testing::internal::CaptureStdout();
  DirList list;
  std::string printed = testing::internal::GetCapturedStdout();
  tasks::testing::FailPortCreation(0);
  EXPECT_EQ(printed, "[NDirlist]: Failed to initialize subtask\n");
  ASSERT_FALSE(list.HasScanner());
  list.SetShowNonImageFiles(true);
  Load(list);
  EXPECT_FALSE(list.Scanning());
  ASSERT_EQ(list.EntryCount(), 2);
  EXPECT_EQ(TypeText(*list.GetEntry(0)), "Unknown");
  EXPECT_EQ(list.StatusText(), kStatusReady);
}

TEST_F(DirListTest, SizeSortKeepsDirectoriesInNameOrderBothWays) {
  ASSERT_TRUE(test::WriteFile(tmp_.file("big.txt"), std::string(300, 'b')));
  ASSERT_TRUE(test::WriteFile(tmp_.file("small.txt"), std::string(3, 's')));
  ASSERT_TRUE(test::WriteFile(tmp_.file("mid.txt"), std::string(30, 'm')));
  Dirs({"Alpha", "beta", "Gamma"});
  DirList list;
  list.SetShowNonImageFiles(true);
  Load(list);
  ASSERT_TRUE(test::WaitForScan(list));
  list.ClickColumnTitle(kColumnSize);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"small.txt", "mid.txt", "big.txt", "Gamma", "beta", "Alpha"}));
  list.ClickColumnTitle(kColumnSize);
  EXPECT_TRUE(list.Reverse());
  EXPECT_EQ(Names(list), (std::vector<std::string>{"big.txt", "mid.txt", "small.txt", "Gamma", "beta", "Alpha"}));
  list.ClickColumnTitle(kColumnName);
  EXPECT_FALSE(list.Reverse());
  EXPECT_EQ(Names(list), (std::vector<std::string>{"big.txt", "mid.txt", "small.txt", "Alpha", "beta", "Gamma"}));
}

TEST_F(DirListTest, FindEntryIsCaseSensitive) {
  Pictures({"Photo.png"});
  DirList list;
  Load(list);
  EXPECT_EQ(list.FindEntry("Photo.png"), 0);
  EXPECT_EQ(list.FindEntry("photo.png"), -1);
  EXPECT_EQ(list.FindEntry("Photo.PNG"), -1);
  DirList empty;
  EXPECT_EQ(empty.FindEntry("Photo.png"), -1);
}

TEST_F(DirListTest, RenameRescanAndRemove) {
  Pictures({"b.png"});
  Texts({"a.txt", "c.txt"});
  DirList list;
  list.SetShowNonImageFiles(true);
  Load(list);
  ASSERT_TRUE(test::WaitForScan(list));
  std::string z = "z.txt";
  list.RenameEntry("a.txt", &z);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"b.png", "c.txt", "z.txt"}));
  list.RenameEntry("missing", &z);
  list.RenameEntry("c.txt", nullptr);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"b.png", "c.txt", "z.txt"}));
  // A file that became a picture gets its new type after a rescan.
  ASSERT_TRUE(test::WritePng(tmp_.file("c.txt"), 2, 2));
  list.RescanEntry(list.FindEntry("c.txt"));
  EXPECT_TRUE(list.Scanning());
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(TypeText(*list.GetEntry(list.FindEntry("c.txt"))), "PNG");
  list.RemoveEntry(list.FindEntry("b.png"));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"c.txt", "z.txt"}));
}

TEST_F(DirListTest, RemovingEntriesWhileTheScannerRuns) {
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(test::WriteFile(tmp_.file("f" + std::to_string(i)), std::string("x")));
  DirList list;
  list.SetShowNonImageFiles(true);
  Load(list);
  while (list.EntryCount() > 0) list.RemoveEntry(list.EntryCount() - 1);
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(list.EntryCount(), 0);
  // Reloading while the scanner is busy stops it first.
  for (int i = 0; i < 5; ++i) list.LoadDirectory();
  ASSERT_TRUE(test::WaitForScan(list));
  EXPECT_EQ(list.EntryCount(), 150);
}

TEST_F(DirListTest, UnreadableDirectoryOrAFile) {
  Texts({"plain"});
  for (std::string path : {tmp_.file("missing"), tmp_.file("plain")}) {
    DirList list;
    bool called = false;
    list.SetLoadedCallback([&](void*, DirList&) { called = true; }, nullptr);
    list.SetInitialDirectory(path);
    list.LoadDirectory();
    EXPECT_EQ(list.EntryCount(), 0);
    EXPECT_FALSE(called);
    EXPECT_EQ(list.StatusText(), kStatusReady);
  }
}

TEST_F(DirListTest, SetDirectoryReloadsOnlyOnChange) {
  Pictures({"a.png"});
  Dirs({"sub"});
  Pictures({"sub/in.png", "sub/in2.png"});
  DirList list;
  int loads = 0;
  list.SetLoadedCallback([&](void*, DirList&) { ++loads; }, nullptr);
  list.SetDirectory(tmp_.path());
  list.SetDirectory(tmp_.path());
  EXPECT_EQ(loads, 1);
  list.SetDirectory(tmp_.file("sub"));
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(list.EntryCount(), 2);
}

TEST_F(DirListTest, SelectionContextMenuAndRowTexts) {
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("p.jpg"), 8, 8));
  Pictures({"q.png"});
  Dirs({"d"});
  DirList list;
  Load(list);
  ASSERT_TRUE(test::WaitForScan(list));
  ASSERT_EQ(Names(list), (std::vector<std::string>{"p.jpg", "q.png", "d"}));
  list.SelectEntry(2, true);
  list.SelectEntry(0, true);
  EXPECT_EQ(list.GetSelectedNames(), (std::vector<std::string>{"p.jpg", "d"}));
  ContextMenuState jpeg = list.ContextMenuFor(0);
  EXPECT_TRUE(jpeg.valid && jpeg.jpegEnabled && jpeg.fileItemsEnabled);
  EXPECT_EQ(jpeg.title, " p.jpg ");
  EXPECT_EQ(list.ActiveEntry(), 0);
  ContextMenuState png = list.ContextMenuFor(1);
  EXPECT_FALSE(png.jpegEnabled);
  EXPECT_TRUE(png.fileItemsEnabled);
  ContextMenuState dir = list.ContextMenuFor(2);
  EXPECT_FALSE(dir.jpegEnabled || dir.fileItemsEnabled);
  EXPECT_EQ(list.ActiveEntry(), 2);
  EXPECT_FALSE(list.ContextMenuFor(3).valid);
  std::vector<std::string> cells = list.RowTexts(2, std::time(nullptr));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0], "d");
  EXPECT_EQ(cells[1], kDrawerText);
  EXPECT_EQ(cells[2], "Today");
  EXPECT_EQ(cells[3], "Directory");
}

}  // namespace
}  // namespace vl::browser
