// Quick first views: a RAW's preview shown at once, its full picture swapped in from a worker,
// a read for a picture left behind stopped and dropped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/controller.h"
#include "app/full_picture.h"
#include "platform/main_thread_queue.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::app {
namespace {

std::string Dims(const image::Texture* t) {
  return t && t->chunky ? std::to_string(t->chunky->width) + "x" + std::to_string(t->chunky->height) : "none";
}

struct SizeLog : ControllerObserver {
  void ImageChanged(const image::Texture* t) override {
    if (t && t->chunky) sizes.push_back(Dims(t));
  }
  std::vector<std::string> sizes;
};

class QuickViewTest : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    test::TestDng a, b;  // a: 128x96 with a 64x48 preview
    b.width = b.height = 64, b.previewWidth = b.previewHeight = 32;
    ASSERT_TRUE(test::WriteFile(dir_.file("a.dng"), test::MakeTestDng(a)));
    ASSERT_TRUE(test::WriteFile(dir_.file("b.dng"), test::MakeTestDng(b)));
    controller_.SetObserver(&log_);
    controller_.EnableQuickViews(&queue_);
  }
  void TearDown() override {
    held_.reset();  // its pictures go before the pool is checked
    PoolTest::TearDown();
  }
  int Open(const char* name) { return controller_.OpenPicture(dir_.file(name).c_str()); }
  // Runs the queue until the full picture's read has been handled (or a long time passed).
  void Settle() {
    for (int i = 0; i < 6000 && controller_.fullPicturePending(); ++i) {
      queue_.RunPending();
      if (controller_.fullPicturePending()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    queue_.RunPending();
  }
  std::string Size() const { return Dims(controller_.currentImage()); }

  platform::ScopedThreadCount threads_{2};
  test::TempDir dir_;
  platform::SimpleMainThreadQueue queue_;
  SizeLog log_;
  std::unique_ptr<Controller> held_ = std::make_unique<Controller>();
  Controller& controller_ = *held_;
};

TEST_F(QuickViewTest, PreviewFirstThenTheFullPictureAndALeftReadIsDropped) {
  ASSERT_EQ(Open("a.dng"), 0);
  EXPECT_EQ(Size(), "64x48");
  EXPECT_TRUE(controller_.currentImage()->preview);
  EXPECT_EQ(controller_.status().width, "64");
  ASSERT_EQ(Open("b.dng"), 0);  // a's read still running
  EXPECT_EQ(Size(), "32x32");
  EXPECT_EQ(controller_.status().width, "32");
  Settle();
  EXPECT_FALSE(controller_.fullPicturePending());
  EXPECT_EQ(Size(), "64x64");
  EXPECT_FALSE(controller_.currentImage()->preview);
  EXPECT_EQ(controller_.status().width, "64");
  EXPECT_EQ(controller_.status().format, "RAW");
  // a's picture never showed, whether its read was stopped or finished first.
  EXPECT_EQ(log_.sizes, (std::vector<std::string>{"64x48", "32x32", "64x64"}));

  // A picture edited before its full read ends keeps the edit.
  ASSERT_EQ(Open("a.dng"), 0);
  controller_.ReplaceChunky(image::ChunkyPtr(image::chk_Create(10, 10, image::ARGB32, true)));
  Settle();
  EXPECT_EQ(Size(), "10x10");
}

TEST_F(QuickViewTest, WhatNeedsTheRealPictureWaitsForIt) {
  // A script's load, an edit and a plain controller each give the full picture at once.
  struct Case {
    const char* what;
    bool quick;
    int (*act)(Controller&, const char*);
  };
  const Case cases[] = {
      {"script load", true, [](Controller& c, const char* p) { return c.LoadPicture(p); }},
      {"edit", true, [](Controller& c, const char* p) { return c.OpenPicture(p) != 0 || !c.BeginEdit() ? 1 : 0; }},
      {"finish", true,
       [](Controller& c, const char* p) {
         int rc = c.OpenPicture(p);
         c.FinishFullPicture();
         return rc;
       }},
      {"no quick views", false, [](Controller& c, const char* p) { return c.OpenPicture(p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Controller controller;
    if (c.quick) controller.EnableQuickViews(&queue_);
    ASSERT_EQ(c.act(controller, dir_.file("a.dng").c_str()), 0);
    EXPECT_EQ(Dims(controller.currentImage()), "128x96");
    EXPECT_FALSE(controller.fullPicturePending());
  }
  queue_.RunPending();  // jobs of controllers gone are harmless
}

// The worker alone, with a reader that waits for the test's word.
class FullPictureReaderTest : public test::PoolTest {
 protected:
  image::Texture* Read(const std::string& path) {
    std::unique_lock<std::mutex> lk(lock_);
    started_.push_back(path);
    changed_.notify_all();
    // The stop flag wakes nobody: look at it now and then.
    while (!release_ && !platform::StopRequested()) changed_.wait_for(lk, std::chrono::milliseconds(2));
    if (platform::StopRequested()) stopped_.push_back(path);
    image::Texture* t = image::CreateTexture(static_cast<int>(path.size()), 1, image::ARGB32);
    if (t) t->name = path;
    return t;
  }
  void WaitStarted(size_t n) {
    std::unique_lock<std::mutex> lk(lock_);
    changed_.wait(lk, [&] { return started_.size() >= n; });
  }
  void SetRelease(bool release) {
    std::lock_guard<std::mutex> lk(lock_);
    release_ = release;
    changed_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> started_, stopped_;
  bool release_ = false;
  std::atomic<int> ready_{0};
};

TEST_F(FullPictureReaderTest, ANewStartStopsTheReadInFlightAndOnlyTheLatestIsTaken) {
  {
    FullPictureReader reader([this](const std::string& p) { return Read(p); }, [this] { ++ready_; });
    uint64_t first = reader.Start("first");
    WaitStarted(1);
    uint64_t second = reader.Start("second");
    WaitStarted(2);
    SetRelease(true);
    image::TexturePtr out;
    std::string messages;
    EXPECT_FALSE(reader.Take(first, out, messages, true));
    ASSERT_TRUE(reader.Take(second, out, messages, true));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->name, "second");
    EXPECT_FALSE(reader.Take(second, out, messages, false));  // taken once
    EXPECT_EQ(stopped_, std::vector<std::string>{"first"});

    // A cancelled read is stopped and never taken.
    SetRelease(false);
    uint64_t third = reader.Start("third");
    WaitStarted(3);
    reader.Cancel();
    EXPECT_FALSE(reader.Take(third, out, messages, true));
  }
  EXPECT_EQ(stopped_, (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(ready_, 1);
}

}  // namespace
}  // namespace vl::app
