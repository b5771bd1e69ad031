#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/step_read_ahead.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::app {
namespace {

class StepReadAheadTest : public test::PoolTest {
 protected:
  StepReadAhead::Reader Reader() {
    return [this](const std::string& path) -> image::Texture* {
      ++reads_;
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_.load()));
      if (path.find("broken") != std::string::npos) return nullptr;
      image::Texture* t = image::CreateTexture(2, 2, image::ARGB32);
      if (t) t->name = path;
      return t;
    };
  }
  std::atomic<int> reads_{0};
  std::atomic<int> delayMs_{0};
  platform::ScopedThreadCount threads_{2};
};

TEST_F(StepReadAheadTest, HoldsAtMostTwoOfTheWantedAndDropsTheRest) {
  StepReadAhead ahead(Reader());
  struct Case {
    std::vector<std::string> want;
    std::vector<std::string> held;
  };
  for (const Case& c :
       {Case{{"a", "b", "c"}, {"a", "b"}}, Case{{"", "b", "b", "d"}, {"b", "d"}}, Case{{"d"}, {"d"}}, Case{{}, {}}}) {
    ahead.Want(c.want);
    ahead.WaitIdle();
    EXPECT_EQ(ahead.HeldPaths(), c.held);
  }
  // a, b, d: each read once; a picture still wanted is kept, not read again.
  EXPECT_EQ(reads_, 3);
}

TEST_F(StepReadAheadTest, TakeGivesTheHeldPictureOnceAndRefusesWhatWasNotReadAhead) {
  StepReadAhead ahead(Reader());
  ahead.Want({"x", "broken"});
  ahead.WaitIdle();
  image::TexturePtr out;
  EXPECT_FALSE(ahead.Take("y", out));
  EXPECT_FALSE(ahead.Take("broken", out));  // a failed read is left to the caller
  EXPECT_TRUE(out == nullptr);
  ASSERT_TRUE(ahead.Take("x", out));
  ASSERT_TRUE(out != nullptr);
  EXPECT_EQ(out->name, "x");
  image::TexturePtr again;
  EXPECT_FALSE(ahead.Take("x", again));
}

TEST_F(StepReadAheadTest, AHeldPictureWhoseFileChangedIsReadAgain) {
  test::TempDir dir;
  const std::string read = dir.file("read.png"), offered = dir.file("offered.png");
  test::WriteFile(read, std::string("one"));
  test::WriteFile(offered, std::string("one"));
  StepReadAhead ahead(Reader());
  ahead.Offer(offered, image::TexturePtr(image::CreateTexture(2, 2, image::ARGB32)), StampOf(offered));
  ahead.Want({read, offered});
  ahead.WaitIdle();
  ASSERT_EQ(ahead.HeldPaths().size(), 2u);
  // Both files are rewritten (another size) after their pictures were taken in.
  test::WriteFile(read, std::string("changed"));
  test::WriteFile(offered, std::string("changed"));
  image::TexturePtr out;
  EXPECT_FALSE(ahead.Take(read, out));
  EXPECT_FALSE(ahead.Take(offered, out));
  EXPECT_TRUE(out == nullptr);
}

TEST_F(StepReadAheadTest, AnOfferedPictureIsKeptOnlyWhenWanted) {
  StepReadAhead ahead(Reader());
  ahead.Offer("left", image::TexturePtr(image::CreateTexture(2, 2, image::ARGB32)), FileStamp());
  ahead.Want({"next", "left"});
  ahead.WaitIdle();
  EXPECT_EQ(ahead.HeldPaths(), (std::vector<std::string>{"next", "left"}));
  EXPECT_EQ(reads_, 1);
  ahead.Offer("other", image::TexturePtr(image::CreateTexture(2, 2, image::ARGB32)), FileStamp());
  ahead.Want({"next"});
  EXPECT_EQ(ahead.HeldPaths(), std::vector<std::string>{"next"});
}

TEST_F(StepReadAheadTest, AReadInFlightIsWaitedForOrDroppedAndTheEndWaitsForIt) {
  delayMs_ = 60;
  {
    StepReadAhead ahead(Reader());
    ahead.Want({"slow"});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    image::TexturePtr out;
    ASSERT_TRUE(ahead.Take("slow", out));  // in flight: waited for
    ASSERT_TRUE(out != nullptr);
    ahead.Want({"first", "second"});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // "second" is not started while "first" is read: the caller reads it sooner itself.
    EXPECT_FALSE(ahead.Take("second", out));
    ahead.Clear();  // drops "first" in flight
    ahead.WaitIdle();
    EXPECT_TRUE(ahead.HeldPaths().empty());
    ahead.Want({"last"});
  }  // destroyed with "last" in flight
  EXPECT_GE(reads_, 2);
}

TEST_F(StepReadAheadTest, NothingIsReadWithOneThreadOrShortMemory) {
  StepReadAhead ahead(Reader());
  {
    platform::ScopedThreadCount one(1);
    ahead.Want({"a"});
  }
  ahead.SetMemoryProbe([] { return StepReadAhead::kMemoryFloor - 1; });
  ahead.Want({"b"});
  ahead.WaitIdle();
  EXPECT_TRUE(ahead.HeldPaths().empty());
  EXPECT_EQ(reads_, 0);
}

}  // namespace
}  // namespace vl::app
