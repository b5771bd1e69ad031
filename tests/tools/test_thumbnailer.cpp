// The thumbnailer: output names, the skip rules, default tools of icons, the template
// placement and the stop of a deep walk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <condition_variable>
#include <mutex>

#include "formats/icon.h"
#include "formats/loader.h"
#include "platform/paths.h"
#include "tasks/worker.h"
#include "test_support.h"
#include "tools/thumbnailer.h"
#include "tools_test_util.h"

namespace vl::tools {
namespace {

using image::ChunkyPtr;
using test::TempDir;
using namespace testutil;

TEST(ThumbnailName, TheFourSuffixCases) {
  EXPECT_EQ(ThumbnailName("d/a.jpg", ".info", false), "d/a.jpg.info");
  EXPECT_EQ(ThumbnailName("d/a.jpg", ".info", true), "d/a.info");
  EXPECT_EQ(ThumbnailName("d/a.jpg", "png", true), "d/a.png");
  EXPECT_EQ(ThumbnailName("d/a.jpg", "png", false), "d/a.jpg.png");
}

TEST(ThumbnailName, ReplaceOnlyCutsTheFileName) {
  // A dot in a directory name is not the picture's extension.
  EXPECT_EQ(ThumbnailName("my.pics/photo", ".info", true), "my.pics/photo.info");
  EXPECT_EQ(ThumbnailName("d/.hidden", "png", true), "d/.hidden.png");
  EXPECT_EQ(ThumbnailName("d/a.b.jpg", "png", true), "d/a.b.png");
}

ChunkyPtr Solid(int w, int h, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  ChunkyPtr c(image::chk_Create(w, h, image::ARGB32, false));
  image::Fill(c.get(), r, g, b, a);
  return c;
}

void ExpectPixel(const image::ChunkyImage* img, int x, int y, int a, int r, int g, int b) {
  uint8_t pa = 0, pr = 0, pg = 0, pb = 0;
  image::GetPixel(img, x, y, pa, pr, pg, pb);
  EXPECT_EQ((std::vector<int>{pa, pr, pg, pb}), (std::vector<int>{a, r, g, b})) << "at " << x << "," << y;
}

class TemplateThumbnail : public test::PoolTest {};

TEST_F(TemplateThumbnail, AWidePictureSitsSixteenRowsDownInA64Box) {
  ChunkyPtr templ = Solid(64, 64, 255, 250, 40, 0);
  ChunkyPtr thumb(
      MakeTemplateThumbnail(Solid(200, 100, 255, 10, 200, 0).release(), templ.get(), 64, 64, 0, 0, true, true));
  ASSERT_TRUE(thumb);
  EXPECT_EQ(thumb->width, 64);
  EXPECT_EQ(thumb->height, 64);
  // Rows 16..47 hold the 64 x 32 picture: 250 + ((-240 * 255) >> 8) = 10 (the shift rounds
  // toward minus infinity), 40 + ((160 * 255) >> 8) = 199, alpha (255 * 255) >> 8 = 254.
  for (int y : {0, 15, 48, 63}) ExpectPixel(thumb.get(), 5, y, 255, 250, 40, 0);
  for (int y : {16, 30, 47}) {
    ExpectPixel(thumb.get(), 0, y, 254, 10, 199, 0);
    ExpectPixel(thumb.get(), 63, y, 254, 10, 199, 0);
  }
}

TEST_F(TemplateThumbnail, WithoutATemplateTheSmallPictureComesBack) {
  ChunkyPtr keep(MakeTemplateThumbnail(Solid(200, 100, 255, 1, 2, 3).release(), nullptr, 64, 64, 5, 5, true, true));
  ASSERT_TRUE(keep);
  EXPECT_EQ(keep->width, 64);
  EXPECT_EQ(keep->height, 32);
  ChunkyPtr stretch(MakeTemplateThumbnail(Solid(200, 100, 255, 1, 2, 3).release(), nullptr, 64, 64, 0, 0, true, false));
  ASSERT_TRUE(stretch);
  EXPECT_EQ(stretch->width, 64);
  EXPECT_EQ(stretch->height, 64);
}

TEST_F(TemplateThumbnail, NegativeOffsetsClipAtTheLeftAndTop) {
  ChunkyPtr templ = Solid(20, 20, 255, 0, 0, 0);
  // A 10 x 10 picture in a 10 x 10 box, moved 5 left and 5 up: its lower right quarter
  // lands on the template's corner, nothing outside is touched.
  ChunkyPtr thumb(
      MakeTemplateThumbnail(Solid(10, 10, 255, 255, 255, 255).release(), templ.get(), 10, 10, -5, -5, true, true));
  ASSERT_TRUE(thumb);
  ExpectPixel(thumb.get(), 0, 0, 254, 254, 254, 254);
  ExpectPixel(thumb.get(), 4, 4, 254, 254, 254, 254);
  ExpectPixel(thumb.get(), 5, 0, 255, 0, 0, 0);
  ExpectPixel(thumb.get(), 0, 5, 255, 0, 0, 0);
}

TEST_F(TemplateThumbnail, OffsetsPastTheRightAndBottomDrawOnlyWhatFits) {
  ChunkyPtr templ = Solid(20, 20, 255, 0, 0, 0);
  ChunkyPtr thumb(
      MakeTemplateThumbnail(Solid(10, 10, 255, 255, 255, 255).release(), templ.get(), 10, 10, 15, 18, true, true));
  ASSERT_TRUE(thumb);
  ExpectPixel(thumb.get(), 15, 18, 254, 254, 254, 254);
  ExpectPixel(thumb.get(), 19, 19, 254, 254, 254, 254);
  ExpectPixel(thumb.get(), 14, 19, 255, 0, 0, 0);
  ExpectPixel(thumb.get(), 19, 17, 255, 0, 0, 0);
  // Entirely outside: the template comes back unchanged.
  ChunkyPtr away(
      MakeTemplateThumbnail(Solid(10, 10, 255, 255, 255, 255).release(), templ.get(), 10, 10, 20, -10, true, true));
  ASSERT_TRUE(away);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ExpectPixel(away.get(), x, y, 255, 0, 0, 0);
}

TEST_F(TemplateThumbnail, ANullPictureGivesNull) {
  ChunkyPtr templ = Solid(4, 4, 255, 0, 0, 0);
  EXPECT_EQ(MakeTemplateThumbnail(nullptr, templ.get(), 4, 4, 0, 0, true, true), nullptr);
}

class ThumbnailWalk : public test::PoolTest {
 protected:
  ThumbnailerJob job;
  TempDir dir;
  void SetUp() override {
    test::PoolTest::SetUp();
    job.path = dir.path();
    job.width = 16;
    job.height = 16;
  }
};

TEST_F(ThumbnailWalk, InfoSuffixWritesAnIconWithTheDefaultTool) {
  ASSERT_TRUE(WriteSolidPng(dir.file("a.jpg"), 40, 20, 200, 10, 10));
  ASSERT_TRUE(test::WriteFile(dir.file("notes.txt"), std::string("hello\n")));
  job.defaultTool = "SYS:Utilities/Viewer";
  EXPECT_EQ(ThumbnailDirectory(nullptr, job, dir.path(), 0), 0);

  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.jpg", "a.jpg.info", "notes.txt"}));
  EXPECT_EQ(job.createdThumbnails.load(), 1u);
  EXPECT_EQ(job.scannedFiles.load(), 2u);
  EXPECT_EQ(job.scannedDirectories.load(), 1u);
  formats::DiskObjectPtr icon(formats::GetDiskObject(dir.file("a.jpg")));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->defaultTool, "SYS:Utilities/Viewer");
  ASSERT_TRUE(icon->image);
  EXPECT_EQ(icon->image->width, 16);
  EXPECT_EQ(icon->image->height, 8);
  // Still a PNG that the ordinary loader reads.
  image::TexturePtr again(formats::ReadPicture(dir.file("a.jpg.info").c_str()));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->chunky->width, 16);
}

TEST_F(ThumbnailWalk, ReplaceWithInfoSetsNoDefaultTool) {
  ASSERT_TRUE(WriteSolidPng(dir.file("a.jpg"), 20, 20, 1, 2, 3));
  job.replace = true;
  job.defaultTool = "C:Tool";
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.jpg", "a.info"}));
  formats::DiskObject meta;
  ASSERT_TRUE(formats::GetDiskObject(dir.file("a.info"), meta));
  EXPECT_EQ(meta.defaultTool, "");
}

TEST_F(ThumbnailWalk, SuffixWithoutDotAndReplaceSkipsItsOwnOutputNextTime) {
  ASSERT_TRUE(WriteSolidPng(dir.file("a.jpg"), 20, 20, 1, 2, 3));
  job.suffix = "png";
  job.replace = true;
  job.defaultTool = "C:Tool";  // only for ".info"
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.jpg", "a.png"}));
  EXPECT_EQ(job.createdThumbnails.load(), 1u);
  formats::DiskObject meta;
  ASSERT_TRUE(formats::GetDiskObject(dir.file("a.png"), meta));
  EXPECT_EQ(meta.defaultTool, "");

  ThumbnailerJob second;
  second.path = dir.path();
  second.suffix = "png";
  second.replace = true;
  ThumbnailDirectory(nullptr, second, dir.path(), 0);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.jpg", "a.png"}));  // no a.png made from a.png
  EXPECT_EQ(second.createdThumbnails.load(), 1u);
  EXPECT_EQ(second.scannedFiles.load(), 2u);
}

TEST_F(ThumbnailWalk, SuffixWithoutDotGetsOne) {
  ASSERT_TRUE(WriteSolidPng(dir.file("a.jpg"), 20, 20, 1, 2, 3));
  job.suffix = "info";
  job.defaultTool = "C:Tool";  // the suffix is not exactly ".info"
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a.jpg", "a.jpg.info"}));
  formats::DiskObject meta;
  ASSERT_TRUE(formats::GetDiskObject(dir.file("a.jpg.info"), meta));
  EXPECT_EQ(meta.defaultTool, "");
}

TEST_F(ThumbnailWalk, ExistingInfoFilesAreNeverPictures) {
  // Real PNG pictures under icon names, with another suffix chosen.
  ASSERT_TRUE(WriteSolidPng(dir.file("b.png.info"), 20, 20, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(dir.file("C.INFO"), 20, 20, 1, 2, 3));
  job.suffix = ".thumb";
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"b.png.info", "C.INFO"}));
  EXPECT_EQ(job.createdThumbnails.load(), 0u);
  EXPECT_EQ(job.scannedFiles.load(), 2u);
}

TEST_F(ThumbnailWalk, RecursionCountsDirectoriesAndNeverFollowsLinks) {
  ASSERT_TRUE(platform::MakeDirectories(dir.file("sub/deeper")));
  ASSERT_TRUE(WriteSolidPng(dir.file("sub/deeper/x.png"), 8, 8, 1, 2, 3));
  ASSERT_EQ(::symlink("..", dir.file("sub/deeper/up").c_str()), 0);  // a loop
  job.recursive = true;
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  EXPECT_EQ(job.scannedDirectories.load(), 3u);
  EXPECT_EQ(job.createdThumbnails.load(), 1u);
  EXPECT_TRUE(Exists(dir.file("sub/deeper/x.png.info")));

  ThumbnailerJob flat;
  flat.path = dir.path();
  ThumbnailDirectory(nullptr, flat, dir.path(), 0);
  EXPECT_EQ(flat.scannedDirectories.load(), 1u);
  EXPECT_EQ(flat.scannedFiles.load(), 0u);
}

TEST_F(ThumbnailWalk, UnreadablePicturesAndAMissingDirectory) {
  ASSERT_TRUE(test::WriteFile(dir.file("bad.png"), std::string("\x89PNG\r\n\x1a\n broken", 16)));
  testing::internal::CaptureStdout();
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Not enough memory to load image\n"), std::string::npos) << out;
  EXPECT_EQ(job.scannedFiles.load(), 1u);
  EXPECT_EQ(job.createdThumbnails.load(), 0u);

  ThumbnailerJob none;
  EXPECT_EQ(ThumbnailDirectory(nullptr, none, dir.file("missing"), 0), 0);
  EXPECT_EQ(none.scannedDirectories.load(), 0u);
}

TEST_F(ThumbnailWalk, TheTemplateDecidesTheIconSize) {
  ASSERT_TRUE(WriteSolidPng(dir.file("a.png"), 30, 10, 1, 2, 3));
  ChunkyPtr templ = Solid(24, 20, 255, 9, 9, 9);
  image::Texture frame;
  frame.chunky = templ.get();
  job.templateImage = &frame;
  ThumbnailDirectory(nullptr, job, dir.path(), 0);
  frame.chunky = nullptr;
  formats::DiskObjectPtr icon(formats::GetDiskObject(dir.file("a.png")));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->image->width, 24);
  EXPECT_EQ(icon->image->height, 20);
}

// Set by the finished notification; waited for before the join, so that the join itself
// sends no stop.
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

// A stop message put on the worker's port from inside the walk, answered to this port.
struct StopFromInside {
  tasks::MsgPort* reply = tasks::CreatePort();
  tasks::WorkerMessage stop;
  ~StopFromInside() { tasks::DeletePort(reply); }
};

TEST_F(ThumbnailWalk, AStopInTheDeepestLevelEndsEveryLevel) {
  // Four levels, each with pictures beside the next level.
  std::string level = dir.path();
  for (int depth = 0; depth < 4; ++depth) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteSolidPng(level + "/p" + std::to_string(i) + ".png", 8, 8, 1, 2, 3));
    level += "/level" + std::to_string(depth + 1);
    ASSERT_TRUE(platform::MakeDirectories(level));
  }
  // Three pictures in the deepest level: the first one seen stops the walk with two to go.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteSolidPng(level + "/d" + std::to_string(i) + ".png", 8, 8, 1, 2, 3));
  const std::string deepest = level + "/";

  StopFromInside stopper;
  ASSERT_TRUE(stopper.reply);
  stopper.stop.replyPort = stopper.reply;
  stopper.stop.command = tasks::kWorkerStop;
  uint32_t createdAtStop = 0;
  bool stopped = false;
  Finished finished;
  job.recursive = true;
  job.fileNotify = [&](ThumbnailerJob& j) {
    if (stopped || j.CurrentFile().compare(0, deepest.size(), deepest) != 0) return;
    stopped = true;
    createdAtStop = j.createdThumbnails.load();
    tasks::sthdSelf()->taskPort->Put(&stopper.stop);
  };
  job.finishedNotify = [&](ThumbnailerJob&) { finished.Set(); };
  const size_t descriptors = OpenDescriptors();
  ASSERT_TRUE(StartThumbnailer(job));
  finished.Wait();
  StopThumbnailer(job);

  EXPECT_TRUE(stopped);
  EXPECT_EQ(stopper.reply->Get(), &stopper.stop);  // the stop was seen and answered
  // The deepest picture is finished, nothing after it is started, and no level counts as
  // finished because every one of them ended early.
  EXPECT_EQ(job.createdThumbnails.load(), createdAtStop + 1);
  EXPECT_EQ(job.scannedDirectories.load(), 0u);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(ThumbnailWalk, AWorkerRunsTheWholeWalkAndCallsEveryNotification) {
  ASSERT_TRUE(platform::MakeDirectories(dir.file("sub")));
  ASSERT_TRUE(WriteSolidPng(dir.file("a.png"), 8, 8, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(dir.file("sub/b.png"), 8, 8, 1, 2, 3));
  std::mutex m;
  int files = 0, scanned = 0, dirs = 0, finishes = 0;
  Finished finished;
  job.recursive = true;
  job.fileNotify = [&](ThumbnailerJob&) {
    std::lock_guard<std::mutex> l(m);
    ++files;
  };
  job.scannedNotify = [&](ThumbnailerJob&) {
    std::lock_guard<std::mutex> l(m);
    ++scanned;
  };
  job.directoryNotify = [&](ThumbnailerJob&) {
    std::lock_guard<std::mutex> l(m);
    ++dirs;
  };
  job.finishedNotify = [&](ThumbnailerJob&) {
    {
      std::lock_guard<std::mutex> l(m);
      ++finishes;
    }
    finished.Set();
  };
  ASSERT_TRUE(StartThumbnailer(job));
  finished.Wait();
  StopThumbnailer(job);
  EXPECT_EQ(job.worker, nullptr);
  EXPECT_EQ(files, 2);
  EXPECT_EQ(scanned, 2);
  EXPECT_EQ(dirs, 2);
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(job.createdThumbnails.load(), 2u);
}

}  // namespace
}  // namespace vl::tools
