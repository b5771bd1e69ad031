// The realtime preview's scheduling: one run in flight and one waiting, stop flags, the newest
// result only, Finish for "_Execute", Cancel, and the end of the object while a run is in flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/controller.h"
#include "edit/blur_ops.h"
#include "edit/realtime_preview.h"
#include "test_support.h"

namespace vl::edit {
namespace {

using Values = std::vector<int>;

// Runs that fill dst with their value. A held run waits until the test releases it, or (when it
// minds its stop flag) until the flag is raised, as an operation stops between pieces.
class Runs {
 public:
  RealtimePreview::Run Make(int value, bool held = false, bool mindsStop = true, bool fails = false) {
    return [this, value, held, mindsStop, fails](const image::ChunkyImage& src, image::ChunkyImage& dst,
                                                 const StopFlag& stop) {
      std::unique_lock<std::mutex> l(lock_);
      started_.push_back(value);
      sources_.push_back(&src);
      changed_.notify_all();
      while (held && !released_ && !(mindsStop && stop.Requested())) changed_.wait_for(l, std::chrono::milliseconds(1));
      if (held) released_ = false;
      if (stop.Requested()) sawStop_.push_back(value);
      ended_.push_back(value);
      if (fails) return false;
      EXPECT_TRUE(src.width == dst.width && src.height == dst.height && src.format == dst.format);
      std::memset(dst.pixels, value, image::BufferBytes(dst.width, dst.height, dst.format));
      return !(mindsStop && stop.Requested());
    };
  }
  void Release() {
    std::lock_guard<std::mutex> g(lock_);
    released_ = true;
    changed_.notify_all();
  }
  bool WaitStarted(int value) {
    std::unique_lock<std::mutex> l(lock_);
    return changed_.wait_for(l, std::chrono::seconds(10), [&] {
      for (int v : started_)
        if (v == value) return true;
      return false;
    });
  }
  Values started() {
    std::lock_guard<std::mutex> g(lock_);
    return started_;
  }
  Values sawStop() {
    std::lock_guard<std::mutex> g(lock_);
    return sawStop_;
  }
  Values ended() {
    std::lock_guard<std::mutex> g(lock_);
    return ended_;
  }
  bool Read(const image::ChunkyImage* source) {
    std::lock_guard<std::mutex> g(lock_);
    return std::find(sources_.begin(), sources_.end(), source) != sources_.end();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool released_ = false;
  Values started_;
  Values sawStop_;
  Values ended_;
  std::vector<const image::ChunkyImage*> sources_;
};

class Preview : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    source_.reset(test::RandomImage(100, 80, image::ARGB32, 5));  // more than kInlinePixels
    shown_ = std::make_shared<Values>();
    preview_ = std::make_unique<RealtimePreview>(queue_, [shown = shown_](image::ChunkyImage& r) {
      shown->push_back(r.pixels[0]);
      // Every byte comes from the run whose result this is.
      uint8_t* end = r.pixels + image::BufferBytes(r.width, r.height, r.format);
      EXPECT_TRUE(std::all_of(r.pixels, end, [&r](uint8_t b) { return b == r.pixels[0]; }));
    });
  }
  void TearDown() override {
    preview_.reset();
    source_.reset();
    PoolTest::TearDown();
  }
  // Drains the queue, as an event loop does, until done() or ten seconds have gone.
  bool Until(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      queue_.RunPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Waits until the worker has nothing in flight or waiting, without draining the queue.
  bool WorkerDone() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      if (preview_->Idle() || std::chrono::steady_clock::now() > end) return preview_->Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void Request(int value, bool held = false, bool mindsStop = true, bool fails = false) {
    preview_->Request(*source_, runs_.Make(value, held, mindsStop, fails));
  }

  platform::SimpleMainThreadQueue queue_;
  image::ChunkyPtr source_;
  std::shared_ptr<Values> shown_;
  std::unique_ptr<RealtimePreview> preview_;
  Runs runs_;
};

TEST_F(Preview, ANewRequestStopsTheRunInFlightAndReplacesTheWaitingOne) {
  Request(1, true, false);  // runs on until released, to see what the requests do meanwhile
  ASSERT_TRUE(runs_.WaitStarted(1));
  Request(2, true);
  Request(3, true);  // 2 never starts
  runs_.Release();
  ASSERT_TRUE(runs_.WaitStarted(3));
  EXPECT_EQ(runs_.sawStop(), Values({1}));
  runs_.Release();
  ASSERT_TRUE(Until([&] { return preview_->shown() == 3; }));
  EXPECT_EQ(runs_.started(), Values({1, 3}));
  EXPECT_EQ(*shown_, Values({3}));
  EXPECT_TRUE(preview_->Idle());
}

TEST_F(Preview, ASupersededResultNeverOverwritesANewerOne) {
  // Two results finish before the queue is drained: only the newer one is shown.
  Request(1);
  ASSERT_TRUE(WorkerDone());
  Request(2);
  ASSERT_TRUE(WorkerDone());
  queue_.RunPending();
  EXPECT_EQ(*shown_, Values({2}));
  // A run that ignores its stop flag and finishes after a newer request is thrown away.
  Request(3, true, false);
  ASSERT_TRUE(runs_.WaitStarted(3));
  Request(4);
  runs_.Release();
  ASSERT_TRUE(Until([&] { return preview_->shown() == 4 && preview_->Idle(); }));
  EXPECT_EQ(runs_.sawStop(), Values({3}));
  EXPECT_EQ(*shown_, Values({2, 4}));
  // Old queue jobs find nothing newer to show.
  queue_.RunPending();
  EXPECT_EQ(*shown_, Values({2, 4}));
}

TEST_F(Preview, FinishAnswersOnceTheNewestResultIsShownOrHasFailed) {
  std::vector<bool> answers;
  auto answer = [&answers](bool shown) { answers.push_back(shown); };
  Request(1, true);
  ASSERT_TRUE(runs_.WaitStarted(1));
  Request(2, true);
  preview_->Finish([&](bool shown) {
    EXPECT_EQ(shown_->back(), 2) << "the result is shown before Finish answers";
    answer(shown);
  });
  EXPECT_TRUE(answers.empty());
  ASSERT_TRUE(runs_.WaitStarted(2));
  queue_.RunPending();
  EXPECT_TRUE(answers.empty());
  runs_.Release();
  ASSERT_TRUE(Until([&] { return !answers.empty(); }));
  EXPECT_EQ(answers, std::vector<bool>({true}));
  EXPECT_EQ(*shown_, Values({2}));
  // Shown already: the answer comes at once.
  preview_->Finish(answer);
  EXPECT_EQ(answers, std::vector<bool>({true, true}));
  // The newest run fails: false, and the picture keeps the last result.
  Request(3, false, true, true);
  preview_->Finish(answer);
  ASSERT_TRUE(Until([&] { return answers.size() == 3; }));
  EXPECT_FALSE(answers.back());
  EXPECT_EQ(*shown_, Values({2}));
}

TEST_F(Preview, CancelStopsTheRunAndDropsEverythingNotYetShown) {
  bool answered = false;
  // A result finished but not delivered, a run in flight and a Finish callback.
  Request(1);
  ASSERT_TRUE(WorkerDone());
  Request(2, true);
  ASSERT_TRUE(runs_.WaitStarted(2));
  preview_->Finish([&](bool) { answered = true; });
  preview_->Cancel();
  ASSERT_TRUE(WorkerDone());
  EXPECT_EQ(runs_.sawStop(), Values({2}));
  // A run that goes on after its stop flag was raised: Cancel does not wait for it, and the
  // caller's source may go at once, since the runs read the worker's copy. The waiting run
  // is dropped.
  Request(3, true, false);
  ASSERT_TRUE(runs_.WaitStarted(3));
  Request(4);
  preview_->Cancel();
  EXPECT_EQ(runs_.ended(), Values({1, 2}));
  EXPECT_FALSE(runs_.Read(source_.get()));
  source_.reset(test::RandomImage(100, 80, image::ARGB32, 6));
  runs_.Release();
  ASSERT_TRUE(WorkerDone());
  EXPECT_EQ(runs_.ended(), Values({1, 2, 3}));
  for (int i = 0; i < 20; ++i) {
    queue_.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(shown_->empty());
  EXPECT_FALSE(answered);
  EXPECT_EQ(runs_.started(), Values({1, 2, 3}));
  // The preview serves the next session, on a new source.
  Request(5);
  ASSERT_TRUE(Until([&] { return preview_->shown() == 5; }));
  EXPECT_EQ(*shown_, Values({5}));
}

TEST_F(Preview, EndingWhileARunIsInFlightStopsItAndShowsNothingMore) {
  Request(1);
  ASSERT_TRUE(WorkerDone());  // its delivery waits in the queue
  Request(2, true);
  ASSERT_TRUE(runs_.WaitStarted(2));
  preview_.reset();
  EXPECT_EQ(runs_.sawStop(), Values({2}));
  queue_.RunPending();
  EXPECT_TRUE(shown_->empty());
}

TEST_F(Preview, SmallSourcesRunAtOnceOnTheCallingThread) {
  source_.reset(test::RandomImage(64, 64, image::ARGB32, 9));
  Request(7);
  EXPECT_EQ(*shown_, Values({7}));
  EXPECT_EQ(queue_.RunPending(), 0);
  bool answer = false;
  preview_->Finish([&answer](bool shown) { answer = shown; });
  EXPECT_TRUE(answer);
}

// The window's path without a window: a burst of Gaussian blur previews swapped into the picture,
// then Finish, gives the bytes of the edit step with the final parameters on the original.
TEST_F(Preview, TheFinalResultIsTheEditStepsBytesAfterABurstOfChanges) {
  auto open = [](app::Controller& c) {
    c.SetReader([](const char*) {
      image::Texture* t = image::CreateTexture(150, 90, image::ARGB32);
      image::ChunkyPtr pattern(test::RandomImage(150, 90, image::ARGB32, 3));
      std::memcpy(t->chunky->pixels, pattern->pixels, image::BufferBytes(150, 90, image::ARGB32));
      return t;
    });
    return c.OpenPicture("pattern") == 0;
  };
  app::Controller window, script;
  ASSERT_TRUE(open(window) && open(script));
  ASSERT_TRUE(window.BeginEdit());
  const std::vector<uint8_t> original(window.editBackup()->chunky->pixels,
                                      window.editBackup()->chunky->pixels + 150 * 90 * 4);
  RealtimePreview preview(queue_, [&window](image::ChunkyImage& r) {
    ASSERT_TRUE(SwapPixels(*window.currentImage()->chunky, r));
    window.RefreshDisplay();
  });
  GaussianBlurParams p;
  for (float radius : {1.0f, 9.5f, 30.0f, 4.25f, 0.5f, 12.0f, 6.75f}) {
    p.radius = radius;
    preview.Request(*window.editBackup()->chunky, [p](const image::ChunkyImage& s, image::ChunkyImage& d,
                                                      const StopFlag& stop) { return RunGaussianBlur(s, d, p, stop); });
    if (radius == 30.0f) {
      ASSERT_TRUE(Until([&] { return preview.shown() > 0; }));
    }
  }
  bool done = false;
  preview.Finish([&](bool shown) { done = shown; });
  ASSERT_TRUE(Until([&] { return done; }));
  window.CommitEdit();
  ASSERT_EQ(ApplyGaussianBlur(script, p), 0);
  script.CommitEdit();
  const image::ChunkyImage* a = window.currentImage()->chunky;
  const image::ChunkyImage* b = script.currentImage()->chunky;
  EXPECT_EQ(std::memcmp(a->pixels, b->pixels, image::BufferBytes(150, 90, image::ARGB32)), 0);
  EXPECT_NE(std::memcmp(a->pixels, original.data(), original.size()), 0);
  EXPECT_EQ(std::memcmp(window.undoImage()->chunky->pixels, original.data(), original.size()), 0);
}

}  // namespace
}  // namespace vl::edit
