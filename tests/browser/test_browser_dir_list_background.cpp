#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/dir_list.h"
#include "browser_test_util.h"
#include "platform/main_thread_queue.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::browser {
namespace {

// What a list shows once read and typed: names in order, type texts and the status texts.
struct Outcome {
  std::vector<std::string> names;
  std::vector<std::string> types;
  std::vector<std::string> statuses;
  int loadedCalls = 0;
  bool operator==(const Outcome&) const = default;
};

class DirListBackgroundTest : public test::PoolTest {
 protected:
  void SetUp() override {
    test::PoolTest::SetUp();
    for (const char* n : {"b.png", "a.png", "c.png"}) ASSERT_TRUE(test::WritePng(tmp_.file(n), 4, 3));
    for (const char* n : {"notes.txt", "readme"}) ASSERT_TRUE(test::WriteFile(tmp_.file(n), std::string("words\n")));
    for (const char* n : {"sub", "zdir"}) ASSERT_TRUE(platform::MakeDirectories(tmp_.file(n)));
  }
  void Attach(DirList& list, Outcome& out) {
    list.SetStatusCallback([&out](const std::string& s) { out.statuses.push_back(s); });
    list.SetLoadedCallback([&out](void*, DirList&) { ++out.loadedCalls; }, nullptr);
  }
  // Drains the queue until the list's rows have arrived (bounded).
  bool DrainUntilLoaded(DirList& list) {
    for (int i = 0; i < 3000 && list.Loading(); ++i) {
      if (queue_.RunPending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !list.Loading();
  }
  static void Collect(DirList& list, Outcome& out) {
    ASSERT_TRUE(test::WaitForScan(list));
    for (int i = 0; i < list.EntryCount(); ++i) {
      out.names.push_back(list.GetEntry(i)->name);
      out.types.push_back(list.RowTexts(i, 0)[3]);
    }
  }
  test::TempDir tmp_;
  platform::SimpleMainThreadQueue queue_;
};

TEST_F(DirListBackgroundTest, ReadOnAWorkerGivesTheRowsOrderAndStatusesOfAReadInPlace) {
  struct Case {
    bool showNonImage;
    int sortColumn;
    bool reverse;
  };
  for (const Case& c : {Case{false, kColumnName, false}, Case{true, kColumnName, false}, Case{true, kColumnType, true},
                        Case{false, kColumnName, true}}) {
    SCOPED_TRACE(testing::Message() << "non-image " << c.showNonImage << " column " << c.sortColumn);
    Outcome inPlace, background;
    {
      DirList list;
      list.SetShowNonImageFiles(c.showNonImage);
      list.SetSort(c.sortColumn, c.reverse);
      Attach(list, inPlace);
      list.SetDirectory(tmp_.path());
      Collect(list, inPlace);
    }
    {
      DirList list;
      list.SetMainThreadQueue(&queue_);
      list.SetShowNonImageFiles(c.showNonImage);
      list.SetSort(c.sortColumn, c.reverse);
      Attach(list, background);
      list.SetDirectory(tmp_.path());
      // Nothing arrives before the queue is drained.
      EXPECT_TRUE(list.Loading());
      EXPECT_EQ(list.EntryCount(), 0);
      EXPECT_EQ(background.statuses, std::vector<std::string>{kStatusReading});
      EXPECT_EQ(background.loadedCalls, 0);
      ASSERT_TRUE(DrainUntilLoaded(list));
      Collect(list, background);
    }
    EXPECT_EQ(background, inPlace);
    EXPECT_EQ(inPlace.loadedCalls, 1);
    EXPECT_EQ(inPlace.names.size(), c.showNonImage ? 7u : 5u);
  }
}

TEST_F(DirListBackgroundTest, AnUnreadableDirectoryEndsReadyWithoutRowsEitherWay) {
  for (platform::MainThreadQueue* q :
       {static_cast<platform::MainThreadQueue*>(nullptr), static_cast<platform::MainThreadQueue*>(&queue_)}) {
    DirList list;
    list.SetMainThreadQueue(q);
    Outcome out;
    Attach(list, out);
    list.SetDirectory(tmp_.file("missing"));
    EXPECT_FALSE(list.Loading());
    EXPECT_EQ(list.EntryCount(), 0);
    EXPECT_EQ(out.statuses, std::vector<std::string>{kStatusReady});
    EXPECT_EQ(out.loadedCalls, 0);
    EXPECT_FALSE(list.Busy());
  }
}

TEST_F(DirListBackgroundTest, ASecondLoadDropsTheFirstReadsRows) {
  const std::string other = tmp_.file("sub");
  ASSERT_TRUE(test::WritePng(other + "/only.png", 2, 2));
  for (int settle : {0, 50}) {
    DirList list;
    list.SetMainThreadQueue(&queue_);
    Outcome out;
    Attach(list, out);
    list.SetDirectory(tmp_.path());
    // With a pause the first read has finished and queued its rows before it is replaced.
    std::this_thread::sleep_for(std::chrono::milliseconds(settle));
    list.SetDirectory(other);
    ASSERT_TRUE(DrainUntilLoaded(list));
    queue_.RunPending();
    Collect(list, out);
    EXPECT_EQ(out.names, std::vector<std::string>{"only.png"});
    EXPECT_EQ(out.loadedCalls, 1);
  }
}

// A read on a worker, and a deferred read (none until WaitLoaded): the rows arrive once, with
// the entry named meanwhile active when the loaded callback runs.
TEST_F(DirListBackgroundTest, WaitLoadedHandsTheRowsOverOnceAndTheQueuedHandoverDoesNothing) {
  for (bool deferred : {false, true}) {
    SCOPED_TRACE(deferred ? "deferred" : "on a worker");
    DirList list;
    list.SetMainThreadQueue(&queue_);
    list.SetDeferred(deferred);
    Outcome out;
    Attach(list, out);
    list.SetDirectory(tmp_.path());
    list.ActivateWhenLoaded("b.png");
    EXPECT_TRUE(list.Loading());
    if (deferred) {
      // Nothing is read before it is needed.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      queue_.RunPending();
      EXPECT_EQ(list.EntryCount(), 0);
      EXPECT_TRUE(out.statuses.empty());
    }
    int activeWhenLoaded = -2;
    list.SetLoadedCallback([&](void*, DirList& l) { activeWhenLoaded = l.ActiveEntry(), ++out.loadedCalls; }, nullptr);
    list.WaitLoaded();
    EXPECT_FALSE(list.Loading());
    ASSERT_EQ(list.EntryCount(), 5);
    EXPECT_EQ(activeWhenLoaded, list.FindEntry("b.png"));
    EXPECT_EQ(list.ActiveEntry(), list.FindEntry("b.png"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue_.RunPending();
    EXPECT_EQ(out.loadedCalls, 1);
    EXPECT_EQ(list.ActiveEntry(), list.FindEntry("b.png"));
  }
}

TEST_F(DirListBackgroundTest, DestroyingTheListDuringAReadIsClean) {
  for (int i = 0; i < 400; ++i) ASSERT_TRUE(test::WriteFile(tmp_.file("f" + std::to_string(i)), std::string()));
  for (int settle : {0, 1, 30}) {
    auto list = std::make_unique<DirList>();
    list->SetMainThreadQueue(&queue_);
    int loaded = 0;
    list->SetLoadedCallback([&](void*, DirList&) { ++loaded; }, nullptr);
    list->SetDirectory(tmp_.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(settle));
    list.reset();
    // A handover queued before the end must not touch the freed list.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    queue_.RunPending();
    EXPECT_EQ(loaded, 0);
  }
}

}  // namespace
}  // namespace vl::browser
