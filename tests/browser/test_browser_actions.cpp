#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browser/browser.h"
#include "browser/dir_list.h"
#include "browser_test_util.h"
#include "formats/clipboard.h"
#include "formats/loader.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::browser {
namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

std::string Read(const std::string& p) {
  std::vector<uint8_t> b = test::ReadFile(p);
  return std::string(b.begin(), b.end());
}

class ActionsTest : public test::PoolTest {
 protected:
  ActionsTest() : requesterScope_(&requester_) {
    EXPECT_TRUE(platform::MakeDirectories(tmp_.file("here")));
    EXPECT_TRUE(platform::MakeDirectories(tmp_.file("there")));
    list_.SetShowNonImageFiles(true);
    list_.SetInitialDirectory(here());
  }
  std::string here() const { return tmp_.file("here"); }
  std::string there() const { return tmp_.file("there"); }
  void Files(std::initializer_list<const char*> names, const std::string& dir = "here") {
    for (const char* n : names) ASSERT_TRUE(test::WriteFile(tmp_.file(dir + "/" + n), std::string("from ") + dir));
  }
  void Open() {
    browser_.SetCurrentDirectory(here());
    ASSERT_TRUE(test::WaitForScan(list_));
  }
  void Select(std::initializer_list<const char*> names) {
    for (const char* n : names) list_.SelectEntry(list_.FindEntry(n), true);
  }

  test::TempDir tmp_;
  test::ScriptedRequester requester_;
  test::RequesterScope requesterScope_;
  DirList list_;
  DirBrowser browser_{&list_};
};

TEST_F(ActionsTest, DeleteWithYesToAllAsksOnce) {
  Files({"a", "b", "c", "keep"});
  Open();
  Select({"a", "b", "c"});
  list_.SetActiveEntry(list_.FindEntry("a"));
  requester_.answers = {1};
  browser_.Delete(true);
  ASSERT_EQ(requester_.questions.size(), 1u);
  EXPECT_EQ(requester_.questions[0].title, "Delete...");
  EXPECT_EQ(requester_.questions[0].text,
            "Are you sure you want to delete file \x1b"
            "ba\x1b"
            "n from disk?");
  EXPECT_EQ(requester_.questions[0].buttons, "*Yes|Yes to all|Cancel");
  EXPECT_FALSE(Exists(tmp_.file("here/a")) || Exists(tmp_.file("here/b")) || Exists(tmp_.file("here/c")));
  EXPECT_TRUE(Exists(tmp_.file("here/keep")));
  EXPECT_EQ(list_.EntryCount(), 1);
  EXPECT_EQ(list_.ActiveEntry(), 0);
}

TEST_F(ActionsTest, DeleteAsksForEachUntilCancel) {
  Files({"a", "b", "c"});
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("here/d/inner")));
  Files({"x"}, "here/d/inner");
  Open();
  Select({"a", "b", "c", "d"});
  requester_.answers = {0, 2};
  browser_.Delete(true);
  EXPECT_EQ(requester_.questions.size(), 2u);
  EXPECT_FALSE(Exists(tmp_.file("here/a")));
  EXPECT_TRUE(Exists(tmp_.file("here/b")));
  EXPECT_TRUE(Exists(tmp_.file("here/c")));
  // Nothing selected: the active entry; a directory goes with its contents.
  for (int i = 0; i < list_.EntryCount(); ++i) list_.SelectEntry(i, false);
  list_.SetActiveEntry(list_.FindEntry("d"));
  requester_.answers = {0};
  browser_.Delete(true);
  EXPECT_EQ(requester_.questions.back().text,
            "Are you sure you want to delete directory \x1b"
            "bd\x1b"
            "n from disk?");
  EXPECT_FALSE(Exists(tmp_.file("here/d")));
  EXPECT_EQ(list_.FindEntry("d"), -1);
}

TEST_F(ActionsTest, DeleteRemovesALinkNotWhatItPointsTo) {
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("precious")));
  Files({"p"}, "precious");
  ASSERT_EQ(::symlink(tmp_.file("precious").c_str(), tmp_.file("here/link").c_str()), 0);
  Open();
  list_.SetActiveEntry(list_.FindEntry("link"));
  browser_.Delete(false);
  EXPECT_TRUE(requester_.questions.empty());
  EXPECT_FALSE(Exists(tmp_.file("here/link")));
  EXPECT_TRUE(Exists(tmp_.file("precious/p")));
}

TEST_F(ActionsTest, CopyOntoExistingFilesSkipAll) {
  Files({"a", "b"});
  Files({"a", "b"}, "there");
  Open();
  browser_.Remember(0, there());
  Select({"a", "b"});
  requester_.answers = {3};
  browser_.CopyMove(1, false);
  ASSERT_EQ(requester_.questions.size(), 1u);
  EXPECT_EQ(requester_.questions[0].title, "Vistaloom request");
  EXPECT_EQ(requester_.questions[0].text,
            "Destination file \x1b"
            "ba \x1b"
            "nalready exists");
  EXPECT_EQ(requester_.questions[0].buttons, "*_Replace|Replace _All|_Skip|S_kip All|Abort ");
  EXPECT_EQ(Read(tmp_.file("there/a")), "from there");
  EXPECT_EQ(Read(tmp_.file("there/b")), "from there");
}

TEST_F(ActionsTest, CopyOntoExistingFilesReplaceAll) {
  Files({"a", "b"});
  Files({"a", "b"}, "there");
  Open();
  browser_.Remember(0, there());
  Select({"a", "b"});
  requester_.answers = {1};
  browser_.CopyMove(1, false);
  EXPECT_EQ(requester_.questions.size(), 1u);
  EXPECT_EQ(Read(tmp_.file("there/a")), "from here");
  EXPECT_EQ(Read(tmp_.file("there/b")), "from here");
  EXPECT_TRUE(Exists(tmp_.file("here/a")));
}

TEST_F(ActionsTest, CopySingleAsksReplaceOrAbortAndEmptyTargetsAreOverwritten) {
  Files({"a", "e"});
  Files({"a"}, "there");
  ASSERT_TRUE(test::WriteFile(tmp_.file("there/e"), std::string()));
  Open();
  browser_.Remember(0, there());
  list_.SetActiveEntry(list_.FindEntry("a"));
  requester_.answers = {1};
  browser_.CopyMove(1, false);
  ASSERT_EQ(requester_.questions.size(), 1u);
  EXPECT_EQ(requester_.questions[0].buttons, "*_Replace|Abort ");
  EXPECT_EQ(Read(tmp_.file("there/a")), "from there");
  list_.SetActiveEntry(list_.FindEntry("e"));
  browser_.CopyMove(1, false);
  EXPECT_EQ(requester_.questions.size(), 1u);
  EXPECT_EQ(Read(tmp_.file("there/e")), "from here");
}

TEST_F(ActionsTest, MoveCopiesThenDeletesWithoutAsking) {
  Files({"m"});
  Open();
  browser_.SetDrawerRequester([this]() -> std::optional<std::string> { return there(); });
  list_.SetActiveEntry(list_.FindEntry("m"));
  browser_.CopyMove(0, true);
  EXPECT_TRUE(requester_.questions.empty());
  EXPECT_TRUE(requester_.errors.empty());
  EXPECT_EQ(Read(tmp_.file("there/m")), "from here");
  EXPECT_FALSE(Exists(tmp_.file("here/m")));
  EXPECT_EQ(list_.FindEntry("m"), -1);
  // A location chosen in the requester is remembered.
  EXPECT_EQ(browser_.Locations()[0], there());
}

TEST_F(ActionsTest, FailedCopyKeepsTheSourceWhenMoving) {
  Files({"m", "n"});
  Open();
  browser_.Remember(0, tmp_.file("there/missing-dir"));
  Select({"m", "n"});
  browser_.CopyMove(1, true);
  ASSERT_EQ(requester_.errors.size(), 2u);
  EXPECT_EQ(requester_.errors[0],
            "Failed to copy file:\n" + tmp_.file("here/m") + " to\n" + tmp_.file("there/missing-dir/m"));
  EXPECT_TRUE(Exists(tmp_.file("here/m")));
  EXPECT_TRUE(Exists(tmp_.file("here/n")));
  EXPECT_NE(list_.FindEntry("m"), -1);
}

TEST_F(ActionsTest, MovingAFileOntoItselfKeepsIt) {
  Files({"self"});
  Open();
  browser_.Remember(0, here());
  list_.SetActiveEntry(list_.FindEntry("self"));
  requester_.answers = {0};
  browser_.CopyMove(1, true);
  EXPECT_EQ(Read(tmp_.file("here/self")), "from here");
}

TEST_F(ActionsTest, CancelledOrEmptyDestinationDoesNothing) {
  Files({"a"});
  Open();
  list_.SetActiveEntry(0);
  browser_.SetDrawerRequester([]() -> std::optional<std::string> { return std::nullopt; });
  browser_.CopyMove(0, true);
  browser_.CopyMove(3, true);  // an empty slot
  EXPECT_TRUE(Exists(tmp_.file("here/a")));
  EXPECT_EQ(browser_.Locations()[0], "");
}

TEST(Remember, FiveSlotsOldestDroppedCaseInsensitiveDuplicates) {
  DirBrowser b(nullptr);
  int rebuilt = 0;
  b.SetMenusChangedCallback([&] { ++rebuilt; });
  for (int i = 1; i <= 5; ++i) b.Remember(0, "/loc/" + std::to_string(i));
  EXPECT_EQ(rebuilt, 5);
  b.Remember(0, "/LOC/3");
  EXPECT_EQ(rebuilt, 5);
  b.Remember(0, "/loc/6");
  std::array<std::string, 5> want = {"/loc/2", "/loc/3", "/loc/4", "/loc/5", "/loc/6"};
  EXPECT_EQ(b.Locations(), want);
  // The history is a list of its own.
  EXPECT_EQ(b.History()[0], "");
  std::vector<MenuItem> empty = b.HistoryMenu();
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].label, kEmptyHistoryLabel);
  EXPECT_FALSE(empty[0].enabled);
  b.Remember(1, "/h/a");
  ASSERT_EQ(b.HistoryMenu().size(), 1u);
  EXPECT_EQ(b.HistoryMenu()[0].label, "/h/a");
  std::vector<MenuItem> move = b.LocationMenu(true);
  ASSERT_EQ(move.size(), 5u);
  EXPECT_EQ(move[0].id, kMenuMoveSlot1);
  EXPECT_EQ(move[4].label, "/loc/6");
}

TEST(Remember, EmptySlotsAreDisabled) {
  DirBrowser b(nullptr);
  b.Remember(0, "/x");
  std::vector<MenuItem> copy = b.LocationMenu(false);
  EXPECT_EQ(copy[0].id, kMenuCopySlot1);
  EXPECT_TRUE(copy[0].enabled);
  EXPECT_EQ(copy[1].label, kEmptySlotLabel);
  EXPECT_FALSE(copy[1].enabled);
}

TEST_F(ActionsTest, RenameAndItsFailures) {
  Files({"old", "taken"});
  Open();
  EXPECT_TRUE(browser_.RenameFileTo("old", "new"));
  EXPECT_TRUE(Exists(tmp_.file("here/new")));
  EXPECT_NE(list_.FindEntry("new"), -1);
  EXPECT_EQ(list_.FindEntry("old"), -1);
  // An existing name is never replaced; names with a slash do not leave the directory.
  EXPECT_FALSE(browser_.RenameFileTo("new", "taken"));
  EXPECT_FALSE(browser_.RenameFileTo("new", "../escaped"));
  EXPECT_FALSE(browser_.RenameFileTo("new", ""));
  EXPECT_FALSE(browser_.RenameFileTo("missing", "other"));
  ASSERT_EQ(requester_.errors.size(), 4u);
  EXPECT_EQ(requester_.errors[0], "Failed to rename a file");
  EXPECT_EQ(Read(tmp_.file("here/taken")), "from here");
  EXPECT_TRUE(Exists(tmp_.file("here/new")));
  EXPECT_FALSE(Exists(tmp_.file("escaped")));
  EXPECT_NE(list_.FindEntry("new"), -1);
  // Through the rename window.
  browser_.SetRenameWindow([](const std::string& original) -> std::optional<std::string> { return original + "2"; });
  list_.SetActiveEntry(list_.FindEntry("new"));
  browser_.RenameFile();
  EXPECT_TRUE(Exists(tmp_.file("here/new2")));
}

TEST_F(ActionsTest, TransformInPlaceKeepsTheNameAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("here/photo.jpg"), 16, 8));
  Open();
  std::vector<std::string> changed;
  browser_.SetFileChangedCallback([&](const std::string& p) { changed.push_back(p); });
  browser_.SetJpegTransformer([](const std::string& file, int op, std::string&) {
    // Stands in for the lossless transform: a different picture through the temporary file.
    std::string temp = file + ".VLTemp";
    return op == kJpegRotate90 && test::WriteJpeg(temp, 8, 16) && std::rename(temp.c_str(), file.c_str()) == 0;
  });
  list_.SetActiveEntry(list_.FindEntry("photo.jpg"));
  browser_.RunMenuAction(kMenuRotate90);
  EXPECT_FALSE(Exists(tmp_.file("here/photo.jpg.VLTemp")));
  EXPECT_EQ(changed, std::vector<std::string>{tmp_.file("here/photo.jpg")});
  std::vector<uint8_t> now = test::ReadFile(tmp_.file("here/photo.jpg"));
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("expect.jpg"), 8, 16));
  EXPECT_EQ(now, test::ReadFile(tmp_.file("expect.jpg")));
  EXPECT_NE(list_.FindEntry("photo.jpg"), -1);
  ASSERT_TRUE(test::WaitForScan(list_));
}

TEST_F(ActionsTest, RotatedJpegKeepsItsNameTrimmedToWholeBlocks) {
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("here/photo.jpg"), 40, 24));
  Open();
  list_.SetActiveEntry(list_.FindEntry("photo.jpg"));
  browser_.RunMenuAction(kMenuRotate90);
  EXPECT_TRUE(requester_.errors.empty());
  EXPECT_FALSE(Exists(tmp_.file("here/photo.jpg.VLTemp")));
  ASSERT_TRUE(test::WaitForScan(list_));
  image::TexturePtr t(formats::ReadPicture(tmp_.file("here/photo.jpg").c_str()));
  ASSERT_TRUE(t);
  // 24 wide after the turn, cut to one 16-pixel block column.
  EXPECT_EQ(t->chunky->width, 16);
  EXPECT_EQ(t->chunky->height, 40);
  EXPECT_EQ(list_.EntryCount(), 1);
}

TEST_F(ActionsTest, FailedTransformLeavesTheFileUntouched) {
  ASSERT_TRUE(test::WriteJpeg(tmp_.file("here/photo.jpg"), 16, 8));
  std::vector<uint8_t> before = test::ReadFile(tmp_.file("here/photo.jpg"));
  Open();
  browser_.SetJpegTransformer([](const std::string& file, int, std::string& error) {
    test::WriteFile(file + ".VLTemp", std::string("half a file"));  // a partial result and an error
    error = "Bogus marker length";
    return false;
  });
  list_.SetActiveEntry(list_.FindEntry("photo.jpg"));
  browser_.TransformJpeg(kJpegFlipH);
  EXPECT_EQ(test::ReadFile(tmp_.file("here/photo.jpg")), before);
  EXPECT_FALSE(Exists(tmp_.file("here/photo.jpg.VLTemp")));
  EXPECT_EQ(requester_.errors, std::vector<std::string>{"Bogus marker length"});
  // The real transformation refuses a file that is no JPEG and leaves it as it was.
  browser_.SetJpegTransformer(DirBrowser(nullptr).Transformer());
  ASSERT_TRUE(test::WriteFile(tmp_.file("here/fake.jpg"), std::string("not a picture")));
  list_.LoadDirectory();
  ASSERT_TRUE(test::WaitForScan(list_));
  list_.SetActiveEntry(list_.FindEntry("fake.jpg"));
  browser_.TransformJpeg(kJpegRotate180);
  EXPECT_EQ(Read(tmp_.file("here/fake.jpg")), "not a picture");
  EXPECT_FALSE(Exists(tmp_.file("here/fake.jpg.VLTemp")));
  EXPECT_EQ(requester_.errors.size(), 2u);
  // A directory is never transformed.
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("here/dir.jpg")));
  list_.LoadDirectory();
  ASSERT_TRUE(test::WaitForScan(list_));
  int calls = 0;
  browser_.SetJpegTransformer([&](const std::string&, int, std::string&) { return ++calls > 0; });
  list_.SetActiveEntry(list_.FindEntry("dir.jpg"));
  browser_.TransformJpeg(kJpegFlipV);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(test::ReadFile(tmp_.file("here/photo.jpg")), before);
}

TEST_F(ActionsTest, ClipboardNameAndPath) {
  test::ScopedEnv clips("VISTALOOM_ASSIGN_CLIPS", tmp_.file("clips"));
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("clips")));
  Files({"name.txt"});
  Open();
  list_.SetActiveEntry(list_.FindEntry("name.txt"));
  browser_.CopyName();
  std::string unit = Read(formats::ClipboardUnitPath());
  EXPECT_NE(unit.find("FTXT"), std::string::npos);
  EXPECT_NE(unit.find("name.txt"), std::string::npos);
  EXPECT_EQ(unit.find(here()), std::string::npos);
  browser_.CopyPath();
  EXPECT_NE(Read(formats::ClipboardUnitPath()).find(tmp_.file("here/name.txt")), std::string::npos);
}

TEST_F(ActionsTest, ParentOpenHistoryAndNotFound) {
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("here/sub")));
  Files({"in"}, "here/sub");
  Open();
  std::vector<std::string> opened;
  browser_.SetOpenCallback([&](const std::string& p) { opened.push_back(p); });
  list_.SetActiveEntry(list_.FindEntry("sub"));
  browser_.Open();
  EXPECT_EQ(browser_.CurrentDirectory(), tmp_.file("here/sub"));
  ASSERT_TRUE(test::WaitForScan(list_));
  list_.SetActiveEntry(list_.FindEntry("in"));
  browser_.Open();
  EXPECT_EQ(opened, std::vector<std::string>{tmp_.file("here/sub/in")});
  browser_.RunMenuAction(kMenuParent);
  char* real = ::realpath(here().c_str(), nullptr);
  EXPECT_EQ(browser_.CurrentDirectory(), real);
  std::free(real);
  EXPECT_EQ(browser_.History()[0], here());
  EXPECT_EQ(browser_.History()[1], tmp_.file("here/sub"));
  EXPECT_TRUE(browser_.ChooseHistory(2));
  EXPECT_EQ(browser_.CurrentDirectory(), tmp_.file("here/sub"));
  EXPECT_FALSE(browser_.ChooseHistory(3));
  EXPECT_FALSE(browser_.ChooseHistory(0));
  browser_.SetCurrentDirectory(here());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(browser_.MakeActive("nothing-here"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "not found\n");
  ASSERT_TRUE(test::WaitForScan(list_));
  EXPECT_TRUE(browser_.MakeActive("sub"));
  EXPECT_EQ(list_.ActiveEntry(), list_.FindEntry("sub"));
  EXPECT_FALSE(browser_.RunMenuAction(999));
}

TEST_F(ActionsTest, OutsideChangesReloadOwnChangesDoNot) {
  Files({"a", "b"});
  Open();
  ASSERT_TRUE(browser_.NotificationActive());
  EXPECT_FALSE(browser_.PollNotification());
  list_.SetActiveEntry(list_.FindEntry("b"));
  ASSERT_TRUE(test::WriteFile(tmp_.file("here/c"), std::string("new")));
  EXPECT_TRUE(browser_.PollNotification());
  EXPECT_NE(list_.FindEntry("c"), -1);
  EXPECT_EQ(list_.ActiveEntry(), list_.FindEntry("b"));
  ASSERT_TRUE(test::WaitForScan(list_));
  list_.SetActiveEntry(list_.FindEntry("a"));
  browser_.Delete(false);
  EXPECT_FALSE(browser_.PollNotification());
  EXPECT_TRUE(browser_.NotificationActive());
  EXPECT_TRUE(browser_.RenameFileTo("b", "bb"));
  EXPECT_FALSE(browser_.PollNotification());
}

}  // namespace
}  // namespace vl::browser
