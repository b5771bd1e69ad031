// What the batch tools check before a job starts, shared by the windows and the command
// line; the example thumbnail; stopping a job from a thread of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "test_support.h"
#include "tools/job_setup.h"
#include "tools_test_util.h"

namespace vl::tools {
namespace {

using test::TempDir;
using namespace testutil;

class JobSetupPictures : public test::PoolTest {};

TEST(JobSetup, SuffixesThatWouldWriteElsewhereAreRefused) {
  const struct {
    std::string suffix;
    bool ok;
  } cases[] = {{".info", true}, {"png", true},        {"", false},
               {"/x", false},   {"a/../../b", false}, {std::string("a\0b", 3), false}};
  for (const auto& c : cases) EXPECT_EQ(CheckThumbnailSuffix(c.suffix).empty(), c.ok) << c.suffix;
  EXPECT_EQ(CheckThumbnailSuffix(""), kNoSuffixText);
}

TEST_F(JobSetupPictures, ExampleThumbnailFollowsTheBoxTheAspectAndTheTemplate) {
  image::TexturePtr example(image::CreateTexture(200, 100, image::ARGB32));
  ASSERT_TRUE(example && example->chunky);
  image::Fill(example->chunky, 10, 20, 30, 255);
  image::TexturePtr frame(image::CreateTexture(90, 70, image::RGB24));
  ASSERT_TRUE(frame && frame->chunky);
  image::Fill(frame->chunky, 200, 200, 200, 255);
  const struct {
    const image::Texture* templ;
    bool aspect;
    int width, height;
  } cases[] = {{nullptr, true, 64, 32}, {nullptr, false, 64, 64}, {frame.get(), true, 90, 70}};
  for (const auto& c : cases) {
    image::ChunkyPtr thumb = MakeExampleThumbnail(example.get(), c.templ, 64, 64, 0, 0, c.aspect);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->format, image::ARGB32);  // ready to be shown, whatever the template's format
    EXPECT_EQ(thumb->width, c.width);
    EXPECT_EQ(thumb->height, c.height);
  }
  EXPECT_EQ(example->chunky->width, 200);  // the example itself is kept
  EXPECT_FALSE(MakeExampleThumbnail(example.get(), nullptr, 0, 64, 0, 0, true));
  EXPECT_FALSE(MakeExampleThumbnail(nullptr, nullptr, 64, 64, 0, 0, true));
  EXPECT_TRUE(LoadExampleImage());
}

TEST_F(JobSetupPictures, ToARGB32KeepsTheColours) {
  image::ChunkyPtr rgb(image::chk_Create(3, 2, image::RGB24, false));
  ASSERT_TRUE(rgb);
  image::Fill(rgb.get(), 1, 2, 3, 255);
  image::ChunkyPtr argb = ToARGB32(rgb.get());
  ASSERT_TRUE(argb);
  uint8_t a, r, g, b;
  image::GetPixel(argb.get(), 2, 1, a, r, g, b);
  EXPECT_EQ((std::vector<int>{a, r, g, b}), (std::vector<int>{255, 1, 2, 3}));
}

TEST(JobSetup, BackgroundStopRunsElsewhereAndOneAtATime) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  std::atomic<bool> ran{false};
  std::thread::id where;
  BackgroundStop stopper;
  ASSERT_TRUE(stopper.Start([&] {
    std::unique_lock<std::mutex> lock(m);
    where = std::this_thread::get_id();
    cv.wait(lock, [&] { return release; });
    ran = true;
  }));
  EXPECT_TRUE(stopper.active());
  EXPECT_FALSE(stopper.Start([] {}));  // the first is still waiting
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  stopper.Wait();
  EXPECT_TRUE(ran);
  EXPECT_NE(where, std::this_thread::get_id());
  EXPECT_FALSE(stopper.active());
  EXPECT_TRUE(stopper.Start([&] { ran = false; }));
  stopper.Wait();
  EXPECT_FALSE(ran);
}

TEST_F(JobSetupPictures, TheCommandLineRefusesToConvertADirectoryIntoItself) {
  TempDir work, scratch;
  ASSERT_TRUE(WriteSolidPng(work.file("a.png"), 16, 16, 1, 2, 3));
  const std::vector<uint8_t> before = test::ReadFile(work.file("a.png"));
  std::string out;
  const std::string err = scratch.file("stderr.txt");
  EXPECT_EQ(test::RunCommand(std::string(VISTALOOM_BINARY) + " --batch-convert " + test::ShellQuote(work.path()) + " " +
                                 test::ShellQuote(work.path() + "/.") + " 2>" + test::ShellQuote(err),
                             out),
            1);
  const std::vector<uint8_t> message = test::ReadFile(err);
  EXPECT_NE(std::string(message.begin(), message.end()).find("same directory"), std::string::npos);
  EXPECT_EQ(test::ReadFile(work.file("a.png")), before);  // the picture is still the PNG
  EXPECT_EQ(test::RunCommand(std::string(VISTALOOM_BINARY) + " --thumbnailer " + test::ShellQuote(work.path()) +
                                 " --suffix /../x 2>" + test::ShellQuote(err),
                             out),
            2);
  EXPECT_EQ(Names(work.path()), (std::set<std::string>{"a.png"}));
}

}  // namespace
}  // namespace vl::tools
