// The batch converter: BatchResize's box tests, the walk over one directory, destination
// levels, the size difference, and stops through the worker.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "formats/file_load.h"
#include "formats/loader.h"
#include "formats/size_text.h"
#include "platform/paths.h"
#include "tasks/worker.h"
#include "test_support.h"
#include "tools/batch_convert.h"
#include "tools_test_util.h"

namespace vl::tools {
namespace {

using image::ChunkyPtr;
using test::TempDir;
using namespace testutil;

class BatchResizeTest : public test::PoolTest {
 protected:
  image::Size Resized(int w, int h, int boxW, int boxH, bool enlarge, bool reduce, bool* same = nullptr) {
    ChunkyPtr src(image::chk_Create(w, h, image::ARGB32, true));
    image::ChunkyImage* out = BatchResize(src.get(), boxW, boxH, enlarge, reduce);
    EXPECT_NE(out, nullptr);
    if (!out) return {0, 0};
    image::Size s{out->width, out->height};
    if (same) *same = out == src.get();
    if (out != src.get()) image::chk_Free(out);
    return s;
  }
};

TEST_F(BatchResizeTest, NeitherSwitchKeepsTheOwnBuffer) {
  bool same = false;
  image::Size s = Resized(300, 200, 50, 50, false, false, &same);
  EXPECT_TRUE(same);
  EXPECT_EQ(s.width, 300);
}

TEST_F(BatchResizeTest, EnlargeFiresWhenEitherSideIsShortAndCanShrinkTheOther) {
  image::Size s = Resized(100, 1000, 500, 500, true, false);
  EXPECT_EQ(s.width, 50);
  EXPECT_EQ(s.height, 500);
  s = Resized(100, 50, 400, 400, true, false);
  EXPECT_EQ(s.width, 400);
  EXPECT_EQ(s.height, 200);
  bool same = false;
  Resized(800, 900, 500, 500, true, false, &same);  // larger on both sides: untouched
  EXPECT_TRUE(same);
}

TEST_F(BatchResizeTest, ReduceFitsPicturesThatExceedTheBox) {
  image::Size s = Resized(1000, 500, 500, 500, false, true);
  EXPECT_EQ(s.width, 500);
  EXPECT_EQ(s.height, 250);
  bool same = false;
  Resized(100, 50, 500, 500, false, true, &same);
  EXPECT_TRUE(same);
  // A picture that already fits the box exactly on one side keeps its own buffer.
  Resized(500, 250, 500, 500, true, true, &same);
  EXPECT_TRUE(same);
}

TEST(BatchSizeText, ThreeWays) {
  EXPECT_EQ(SizeDifferenceText(5, "5 bytes"), "smaller by 5 bytes");
  EXPECT_EQ(SizeDifferenceText(-7, "7 bytes"), "larger by 7 bytes");
  EXPECT_EQ(SizeDifferenceText(0, ""), "none");
}

class BatchWalk : public test::PoolTest {
 protected:
  BatchJob job;
  TempDir src, dst;
  void SetUp() override {
    test::PoolTest::SetUp();
    job.sourceDir = src.path();
    job.destDir = dst.path();
  }
};

TEST_F(BatchWalk, APictureAndATextFile) {
  ASSERT_TRUE(WriteSolidPng(src.file("a.png"), 30, 20, 10, 20, 30));
  ASSERT_TRUE(test::WriteFile(src.file("notes.txt"), std::string("some words\n")));
  ASSERT_TRUE(platform::MakeDirectories(src.file("subdir")));
  ConvertDirectory(nullptr, job);
  EXPECT_EQ(job.scanned.load(), 2);
  EXPECT_EQ(job.converted.load(), 1);
  EXPECT_EQ(job.processed.load(), 3);  // the subdirectory too
  EXPECT_EQ(Names(dst.path()), (std::set<std::string>{"a.png"}));
  EXPECT_TRUE(IsJpegFile(dst.file("a.png")));
  image::TexturePtr back(formats::ReadPicture(dst.file("a.png").c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->chunky->width, 30);  // neither enlarge nor reduce: its own size
  EXPECT_EQ(back->chunky->height, 20);
}

TEST_F(BatchWalk, ThreeMissingDestinationLevelsAreCreated) {
  ASSERT_TRUE(WriteSolidPng(src.file("a.png"), 8, 8, 1, 2, 3));
  job.destDir = dst.file("one/two/three");
  ConvertDirectory(nullptr, job);
  EXPECT_EQ(job.converted.load(), 1);
  EXPECT_TRUE(IsJpegFile(dst.file("one/two/three/a.png")));
}

TEST_F(BatchWalk, ResizingWithABox) {
  ASSERT_TRUE(WriteSolidPng(src.file("wide.png"), 200, 100, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(src.file("small.png"), 10, 40, 1, 2, 3));
  job.width = 50;
  job.height = 50;
  job.reduce = true;
  ConvertDirectory(nullptr, job);
  image::TexturePtr wide(formats::ReadPicture(dst.file("wide.png").c_str()));
  image::TexturePtr small(formats::ReadPicture(dst.file("small.png").c_str()));
  ASSERT_TRUE(wide && small);
  EXPECT_EQ(wide->chunky->width, 50);
  EXPECT_EQ(wide->chunky->height, 25);
  EXPECT_EQ(small->chunky->width, 10);
}

TEST_F(BatchWalk, ADestinationEqualToTheSourceTurnsEachPictureIntoAJpeg) {
  ASSERT_TRUE(WriteSolidPng(src.file("a.png"), 16, 16, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(src.file("b.png"), 16, 16, 4, 5, 6));
  ASSERT_TRUE(test::WriteFile(src.file("notes.txt"), std::string("keep me")));
  job.destDir = src.path();
  ConvertDirectory(nullptr, job);
  EXPECT_EQ(job.converted.load(), 2);
  EXPECT_EQ(job.scanned.load(), 3);
  EXPECT_EQ(Names(src.path()), (std::set<std::string>{"a.png", "b.png", "notes.txt"}));  // no temporaries
  EXPECT_TRUE(IsJpegFile(src.file("a.png")));
  EXPECT_TRUE(IsJpegFile(src.file("b.png")));
  const std::vector<uint8_t> text = test::ReadFile(src.file("notes.txt"));
  EXPECT_EQ(std::string(text.begin(), text.end()), "keep me");
}

TEST_F(BatchWalk, LargerFilesGiveANegativeDifference) {
  // Flat pictures compress far better as PNG than as JPEG at quality 100.
  ASSERT_TRUE(WriteSolidPng(src.file("a.png"), 64, 64, 200, 100, 50));
  ASSERT_TRUE(WriteSolidPng(src.file("b.png"), 48, 32, 0, 0, 0));
  const int64_t before = formats::FileSize(src.file("a.png").c_str()) + formats::FileSize(src.file("b.png").c_str());
  job.quality = 100;
  ConvertDirectory(nullptr, job);
  const int64_t after = formats::FileSize(dst.file("a.png").c_str()) + formats::FileSize(dst.file("b.png").c_str());
  ASSERT_LT(before, after);
  EXPECT_EQ(job.sizeDifference.load(), before - after);
  char text[64];
  formats::FormatFileSize(text, sizeof text, static_cast<uint64_t>(after - before));
  EXPECT_EQ(job.SizeText(), text);
  EXPECT_EQ(SizeDifferenceText(job.sizeDifference.load(), job.SizeText()), std::string("larger by ") + text);
}

TEST_F(BatchWalk, SmallerFilesGiveAPositiveDifference) {
  ASSERT_TRUE(WriteNoisePng(src.file("noise.png"), 96, 96, 7));
  job.quality = 30;
  ConvertDirectory(nullptr, job);
  EXPECT_GT(job.sizeDifference.load(), 0);
  EXPECT_EQ(job.sizeDifference.load(), static_cast<int64_t>(formats::FileSize(src.file("noise.png").c_str())) -
                                           static_cast<int64_t>(formats::FileSize(dst.file("noise.png").c_str())));
}

TEST_F(BatchWalk, FailuresAreCountedAsScannedButNotConverted) {
  ASSERT_TRUE(test::WriteFile(src.file("bad.png"), std::string("\x89PNG\r\n\x1a\n broken", 16)));
  ASSERT_TRUE(WriteSolidPng(src.file("good.png"), 8, 8, 1, 2, 3));
  // A directory where good.png's JPEG should go: the save fails, the directory stays.
  ASSERT_TRUE(platform::MakeDirectories(dst.file("good.png/inside")));
  testing::internal::CaptureStdout();
  ConvertDirectory(nullptr, job);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Not enough memory to load image\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Failed to save as JPEG\n"), std::string::npos) << out;
  EXPECT_EQ(job.scanned.load(), 2);
  EXPECT_EQ(job.converted.load(), 0);
  EXPECT_EQ(job.sizeDifference.load(), 0);
  EXPECT_TRUE(Exists(dst.file("good.png/inside")));
}

TEST_F(BatchWalk, AnExistingDestinationIsReplacedWhole) {
  ASSERT_TRUE(WriteSolidPng(src.file("a.png"), 8, 8, 1, 2, 3));
  ASSERT_TRUE(test::WriteFile(dst.file("a.png"), std::string("old")));
  ConvertDirectory(nullptr, job);
  EXPECT_TRUE(IsJpegFile(dst.file("a.png")));
  EXPECT_EQ(Names(dst.path()), (std::set<std::string>{"a.png"}));
}

TEST_F(BatchWalk, AMissingSourceFinishesWithZeroCounts) {
  job.sourceDir = src.file("missing");
  job.scanned = 5;
  ConvertDirectory(nullptr, job);
  EXPECT_EQ(job.scanned.load(), 0);
  EXPECT_EQ(job.processed.load(), 0);
  EXPECT_TRUE(Names(dst.path()).empty());
}

class Finished {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(m_);
    done_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [&] { return done_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
};

TEST_F(BatchWalk, AStopIsHonouredBeforeTheNextEntry) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteSolidPng(src.file("p" + std::to_string(i) + ".png"), 8, 8, 1, 2, 3));
  tasks::MsgPort* reply = tasks::CreatePort();
  ASSERT_TRUE(reply);
  tasks::WorkerMessage stop;
  stop.replyPort = reply;
  stop.command = tasks::kWorkerStop;
  Finished finished;
  int files = 0, scans = 0, processes = 0, finishes = 0;
  job.fileNotify = [&](BatchJob&) {
    if (++files == 1) tasks::sthdSelf()->taskPort->Put(&stop);
  };
  job.scannedNotify = [&](BatchJob&) { ++scans; };
  job.processedNotify = [&](BatchJob&) { ++processes; };
  job.finishedNotify = [&](BatchJob&) {
    ++finishes;
    finished.Set();
  };
  ASSERT_TRUE(StartBatchConversion(job));
  finished.Wait();
  StopBatchConversion(job);
  EXPECT_EQ(reply->Get(), &stop);
  tasks::DeletePort(reply);
  // The picture under way is finished; nothing after it starts.
  EXPECT_EQ(job.converted.load(), 1);
  EXPECT_EQ(job.scanned.load(), 1);
  EXPECT_EQ(job.processed.load(), 1);
  EXPECT_EQ(Names(dst.path()).size(), 1u);
  EXPECT_EQ(files, 1);
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(processes, 1);
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(job.worker, nullptr);
}

TEST_F(BatchWalk, TheWorkerConvertsEverythingAndClearsCountersAtEachStart) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteSolidPng(src.file("p" + std::to_string(i) + ".png"), 8, 8, 1, 2, 3));
  for (int run = 0; run < 2; ++run) {
    Finished finished;
    job.finishedNotify = [&](BatchJob&) { finished.Set(); };
    ASSERT_TRUE(StartBatchConversion(job));
    finished.Wait();
    StopBatchConversion(job);
    EXPECT_EQ(job.converted.load(), 3) << "run " << run;
    EXPECT_EQ(job.scanned.load(), 3) << "run " << run;
  }
}

}  // namespace
}  // namespace vl::tools
