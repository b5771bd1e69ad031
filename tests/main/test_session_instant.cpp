#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/loader.h"
#include "main/session.h"
#include "platform/main_thread_queue.h"
#include "platform/thread_pool.h"
#include "settings/settings.h"
#include "test_support.h"

namespace vl::main {
namespace {

// Counts the pictures read, and how many of them were read on the test's own thread.
class CountingReader {
 public:
  app::Controller::PictureReader Reader() {
    return [this](const char* path) -> image::Texture* {
      {
        std::lock_guard<std::mutex> lk(lock_);
        ++reads_[path];
        if (std::this_thread::get_id() == main_) ++mainThreadReads_;
      }
      return formats::ReadPicture(path);
    };
  }
  int Reads(const std::string& path) {
    std::lock_guard<std::mutex> lk(lock_);
    return reads_[path];
  }
  int MainThreadReads() {
    std::lock_guard<std::mutex> lk(lock_);
    return mainThreadReads_;
  }

 private:
  std::mutex lock_;
  std::map<std::string, int> reads_;
  int mainThreadReads_ = 0;
  std::thread::id main_ = std::this_thread::get_id();
};

class SessionInstantTest : public test::PoolTest {
 protected:
  void SetUp() override {
    test::PoolTest::SetUp();
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
      ASSERT_TRUE(test::WriteJpegWithOrientation(tmp_.file(n), 24, 16, 1));
    ASSERT_TRUE(test::WriteJpegWithOrientation(tmp_.file("e.jpg"), 24, 16, 6));
    ASSERT_TRUE(test::WriteFile(tmp_.file("notes.txt"), std::string("words\n")));
    prefs_ = settings::DefaultSettings();
    prefs_.correctOrientation = true;
  }
  std::string Path(const char* name) { return tmp_.file(name); }
  test::TempDir tmp_;
  settings::Settings prefs_;
  CountingReader counter_;
  platform::ScopedThreadCount threads_{2};
};

TEST_F(SessionInstantTest, TheFirstPictureShowsBeforeTheListingAndItsRowDoesNotLoadItAgain) {
  platform::SimpleMainThreadQueue queue;
  Session session(prefs_);
  session.SetMainThreadQueue(&queue);
  session.controller().SetReader(counter_.Reader());
  ASSERT_EQ(session.controller().OpenPicture(Path("b.jpg").c_str()), 0);
  // The picture is current while the rows are still on their way.
  EXPECT_NE(session.controller().currentImage(), nullptr);
  EXPECT_TRUE(session.list().Loading());
  EXPECT_EQ(session.list().EntryCount(), 0);
  for (int i = 0; i < 3000 && session.list().Loading(); ++i)
    if (queue.RunPending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_FALSE(session.list().Loading());
  EXPECT_EQ(session.list().EntryCount(), 6);  // notes.txt too: non-image files are shown
  const int row = session.list().FindEntry("b.jpg");
  ASSERT_GE(row, 0);
  EXPECT_EQ(session.list().ActiveEntry(), row);
  // The view chooses the row it was given: no second load.
  session.browser().Open();
  EXPECT_EQ(counter_.Reads(Path("b.jpg")), 1);
  // A later, deliberate choice of the same row opens it again.
  session.browser().Open();
  EXPECT_EQ(counter_.Reads(Path("b.jpg")), 2);
  // Another row opens at once.
  session.list().SetActiveEntry(session.list().FindEntry("c.jpg"));
  session.browser().Open();
  EXPECT_EQ(session.controller().currentPath(), Path("c.jpg"));
}

TEST_F(SessionInstantTest, AFailedOpenLeavesNoMarkThatSwallowsTheNextChoice) {
  Session session(prefs_);
  session.controller().SetReader(counter_.Reader());
  ASSERT_EQ(session.controller().OpenPicture(Path("a.jpg").c_str()), 0);
  EXPECT_EQ(session.controller().OpenPicture(Path("notes.txt").c_str()), 1);
  session.list().SetActiveEntry(session.list().FindEntry("a.jpg"));
  session.browser().Open();
  EXPECT_EQ(counter_.Reads(Path("a.jpg")), 2);
  EXPECT_NE(session.controller().currentImage(), nullptr);
}

TEST_F(SessionInstantTest, SteppingTakesThePicturesReadAheadWithTheResultsOfAFreshLoad) {
  Session fresh(prefs_);
  Session session(prefs_);
  session.controller().SetReader(counter_.Reader());
  session.EnableReadAhead(true);
  app::Controller& c = session.controller();
  app::StepReadAhead* ahead = c.readAhead();
  ASSERT_NE(ahead, nullptr);
  ASSERT_EQ(c.OpenPicture(Path("b.jpg").c_str()), 0);
  ahead->WaitIdle();
  EXPECT_EQ(ahead->HeldPaths(), (std::vector<std::string>{Path("c.jpg"), Path("a.jpg")}));

  struct Step {
    bool forward;
    const char* shown;
    std::vector<const char*> held;  // what is held afterwards, the way of the step first
  };
  for (const Step& s : {Step{true, "c.jpg", {"d.jpg", "b.jpg"}}, Step{true, "d.jpg", {"e.jpg", "c.jpg"}},
                        Step{true, "e.jpg", {"d.jpg"}}, Step{false, "d.jpg", {"c.jpg", "e.jpg"}},
                        Step{false, "c.jpg", {"b.jpg", "d.jpg"}}}) {
    SCOPED_TRACE(s.shown);
    ASSERT_TRUE(s.forward ? c.LoadNext() : c.LoadPrevious());
    EXPECT_EQ(c.currentPath(), Path(s.shown));
    ahead->WaitIdle();
    std::vector<std::string> held;
    for (const char* h : s.held) held.push_back(Path(h));
    EXPECT_EQ(ahead->HeldPaths(), held);
    // The same texts and picture as when the file is opened on its own (e.jpg is turned).
    ASSERT_EQ(fresh.controller().OpenPicture(Path(s.shown).c_str()), 0);
    const app::StatusTexts& a = c.status();
    const app::StatusTexts& b = fresh.controller().status();
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.format, b.format);
    EXPECT_EQ(a.width, std::string(s.shown) == "e.jpg" ? "16" : "24");
    ASSERT_NE(c.infoList(), nullptr);
    EXPECT_EQ(*c.infoList(), *fresh.controller().infoList());
  }
  // Only the first picture was read by the caller; every step took a picture read ahead.
  EXPECT_EQ(counter_.MainThreadReads(), 1);
  // A picture a step leaves is kept as it was read (d.jpg, left for e.jpg and back), unless it
  // was turned upright (e.jpg).
  EXPECT_EQ(counter_.Reads(Path("d.jpg")), 1);
  EXPECT_EQ(counter_.Reads(Path("e.jpg")), 2);

  // A change of directory drops what is held.
  c.ChangeDirectory(tmp_.path() + "/nowhere");
  EXPECT_TRUE(ahead->HeldPaths().empty());
}

TEST_F(SessionInstantTest, ReadingAheadOnStepStartsWithTheFirstStep) {
  Session session(prefs_);
  session.controller().SetReader(counter_.Reader());
  session.EnableReadAheadOnStep();
  app::Controller& c = session.controller();
  ASSERT_EQ(c.OpenPicture(Path("b.jpg").c_str()), 0);
  EXPECT_EQ(c.readAhead(), nullptr);
  EXPECT_EQ(counter_.Reads(Path("a.jpg")) + counter_.Reads(Path("c.jpg")), 0);
  ASSERT_TRUE(c.LoadNext());
  ASSERT_NE(c.readAhead(), nullptr);
  c.readAhead()->WaitIdle();
  EXPECT_EQ(c.readAhead()->HeldPaths(), (std::vector<std::string>{Path("d.jpg"), Path("b.jpg")}));
}

TEST_F(SessionInstantTest, NothingIsReadAheadWhenMemoryIsShort) {
  Session session(prefs_);
  session.controller().SetReader(counter_.Reader());
  session.EnableReadAhead(true);
  app::Controller& c = session.controller();
  c.readAhead()->SetMemoryProbe([] { return uint64_t{64} << 20; });
  ASSERT_EQ(c.OpenPicture(Path("a.jpg").c_str()), 0);
  c.readAhead()->WaitIdle();
  EXPECT_TRUE(c.readAhead()->HeldPaths().empty());
  ASSERT_TRUE(c.LoadNext());
  EXPECT_EQ(c.currentPath(), Path("b.jpg"));
  EXPECT_EQ(counter_.MainThreadReads(), 2);
}

TEST_F(SessionInstantTest, PortCommandsActOnTheWholeListingInTheBackground) {
  platform::SimpleMainThreadQueue queue;
  Session session(prefs_);
  session.SetMainThreadQueue(&queue);
  ASSERT_EQ(session.controller().OpenPicture(Path("a.jpg").c_str()), 0);
  // The rows have not been handed over; the command waits for them instead of finding none.
  script::Reply r = session.Execute("LoadNext");
  EXPECT_EQ(r.rc, 1);  // a picture was chosen
  EXPECT_EQ(session.controller().currentPath(), Path("b.jpg"));
}

// New settings reach the shown browser at once: the list's switches and the grid's box.
TEST_F(SessionInstantTest, NewSettingsReadTheShownDirectoryAgain) {
  prefs_.diskCacheEnabled = false;
  prefs_.showNonImageFiles = false;
  Session session(prefs_);
  session.browser().SetCurrentDirectory(tmp_.path());
  session.list().WaitLoaded();
  EXPECT_EQ(session.list().EntryCount(), 5);  // the pictures only
  settings::Settings next = prefs_;
  next.showNonImageFiles = true;
  session.SetSettings(next);
  session.list().WaitLoaded();
  EXPECT_EQ(session.list().EntryCount(), 6);
  EXPECT_GE(session.list().FindEntry("notes.txt"), 0);

  session.UseThumbnails(true);
  ASSERT_GT(session.thumbs().EntryCount(), 0);
  next.thumbWidth = 60;
  next.thumbBorder = 2;
  session.SetSettings(next);
  EXPECT_EQ(session.thumbs().settings().boxWidth, 60);
  ASSERT_EQ(session.thumbs().EntryCount(), 6);
  for (int i = 0; i < session.thumbs().EntryCount(); ++i)
    EXPECT_EQ(session.thumbs().GetEntry(i)->picture.width(), 62) << i;
}

}  // namespace
}  // namespace vl::main
