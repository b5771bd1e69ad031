// Reading the next pictures ahead: the picture and the readers' messages are the ones a
// plain read gives, printed where the plain read would print them, and the batch converter
// and the thumbnailer produce the same files, counts and output with and without it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/thread_pool.h"
#include "test_support.h"
#include "tools/batch_convert.h"
#include "tools/read_ahead.h"
#include "tools/thumbnailer.h"
#include "tools_test_util.h"

namespace vl::tools {
namespace {

using test::TempDir;
using namespace testutil;

// A file that the PNG sniffer claims and the decoder refuses.
const std::string kBrokenPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\x07');

bool SamePixels(const image::Texture* a, const image::Texture* b) {
  if (!a || !b) return a == b;
  const image::ChunkyImage* x = a->chunky;
  const image::ChunkyImage* y = b->chunky;
  return x->width == y->width && x->height == y->height && x->format == y->format &&
         std::memcmp(x->pixels, y->pixels, image::BufferBytes(x->width, x->height, x->format)) == 0 &&
         a->formatName == b->formatName;
}

// Every plain file of a directory with its bytes.
std::map<std::string, std::vector<uint8_t>> Contents(const std::string& dir) {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const std::string& name : Names(dir)) {
    struct stat st;
    const std::string path = dir + "/" + name;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) out[name] = test::ReadFile(path);
  }
  return out;
}

class ReadAhead : public test::PoolTest {
 protected:
  TempDir dir;
};

TEST_F(ReadAhead, TakeGivesThePlainPictureAndReadsOtherPathsDirectly) {
  platform::ScopedThreadCount threads(2);
  ASSERT_TRUE(WriteNoisePng(dir.file("a.png"), 37, 21, 3));
  image::ChunkyPtr noise(test::RandomImage(29, 17, image::ARGB32, 5));
  ASSERT_TRUE(formats::SaveJPEG(noise.get(), dir.file("b.jpg").c_str(), 80, false, false));
  image::TexturePtr plainA(formats::ReadPicture(dir.file("a.png").c_str()));
  image::TexturePtr plainB(formats::ReadPicture(dir.file("b.jpg").c_str()));
  ASSERT_TRUE(plainA && plainB);

  PictureReadAhead ahead;
  // Two reads at once, taken in any order.
  ahead.Want({dir.file("a.png"), dir.file("b.jpg"), dir.file("c.png")});
  EXPECT_EQ(ahead.Reading(), (std::vector<std::string>{dir.file("a.png"), dir.file("b.jpg")}));
  image::TexturePtr b = ahead.Take(dir.file("b.jpg"));
  EXPECT_TRUE(SamePixels(b.get(), plainB.get()));
  EXPECT_EQ(b->formatName, "JPEG");
  image::TexturePtr a = ahead.Take(dir.file("a.png"));
  EXPECT_TRUE(SamePixels(a.get(), plainA.get()));
  EXPECT_EQ(a->name, dir.file("a.png"));
  // A read that is no longer wanted is dropped; one asked for without a read is read now.
  ahead.Want({dir.file("a.png")});
  ahead.Want({dir.file("b.jpg")});
  EXPECT_EQ(ahead.Reading(), std::vector<std::string>{dir.file("b.jpg")});
  image::TexturePtr again = ahead.Take(dir.file("a.png"));
  EXPECT_TRUE(SamePixels(again.get(), plainA.get()));
  EXPECT_EQ(ahead.Take(dir.file("missing.png")), nullptr);
}

TEST_F(ReadAhead, MessagesWaitForTakeAndDroppedReadsSayNothing) {
  platform::ScopedThreadCount threads(2);
  ASSERT_TRUE(test::WriteFile(dir.file("broken.png"), kBrokenPng));
  testing::internal::CaptureStdout();
  {
    PictureReadAhead ahead;
    ahead.Want({dir.file("broken.png")});
  }  // waited for and dropped: its message is never printed
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  PictureReadAhead ahead;
  ahead.Want({dir.file("broken.png")});
  testing::internal::CaptureStdout();
  EXPECT_EQ(ahead.Take(dir.file("broken.png")), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[FILE]: Error in datatype\n");
}

TEST(MessageCaptureTest, NestedCapturesCollectInTheInnermost) {
  platform::MessageCapture outer;
  platform::PrintMessage("one ");
  {
    platform::MessageCapture inner;
    platform::PrintMessage("two");
    EXPECT_EQ(inner.Take(), "two");
    EXPECT_EQ(inner.Take(), "");
  }
  platform::PrintMessage("three");
  EXPECT_EQ(outer.Take(), "one three");
}

// Good pictures and broken ones alternate, with a text file and a subdirectory among them,
// so some broken files are read ahead while a good one is worked on.
void MakeMixedDirectory(const TempDir& dir) {
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(WriteNoisePng(dir.file("good" + n + ".png"), 40 + i * 13, 30 + i * 7, static_cast<uint32_t>(i + 1)));
    ASSERT_TRUE(test::WriteFile(dir.file("broken" + n + ".png"), kBrokenPng));
    image::ChunkyPtr img(test::RandomImage(31 + i, 23, image::ARGB32, static_cast<uint32_t>(i + 40)));
    ASSERT_TRUE(formats::SaveJPEG(img.get(), dir.file("photo" + n + ".jpg").c_str(), 85, false, false));
  }
  ASSERT_TRUE(test::WriteFile(dir.file("notes.txt"), std::string("words\n")));
  ASSERT_TRUE(platform::MakeDirectories(dir.file("sub")));
}

struct BatchRun {
  std::string printed;
  int32_t scanned, converted, processed;
  int64_t difference;
  std::map<std::string, std::vector<uint8_t>> files;
};

BatchRun RunBatch(const std::string& source, const std::string& destination, int threads) {
  platform::ScopedThreadCount count(threads);
  BatchJob job;
  job.sourceDir = source;
  job.destDir = destination;
  job.width = 32;
  job.height = 32;
  job.reduce = true;
  testing::internal::CaptureStdout();
  ConvertDirectory(nullptr, job);
  BatchRun run{testing::internal::GetCapturedStdout(),
               job.scanned.load(),
               job.converted.load(),
               job.processed.load(),
               job.sizeDifference.load(),
               Contents(destination)};
  return run;
}

TEST_F(ReadAhead, BatchConversionIsTheSameWithAndWithoutIt) {
  MakeMixedDirectory(dir);
  TempDir plainOut, aheadOut;
  const BatchRun plain = RunBatch(dir.path(), plainOut.path(), 1);
  const BatchRun ahead = RunBatch(dir.path(), aheadOut.path(), 2);
  EXPECT_EQ(plain.converted, 12);
  EXPECT_NE(plain.printed.find("[FILE]: Error in datatype\nNot enough memory to load image\n"), std::string::npos);
  EXPECT_EQ(ahead.printed, plain.printed);
  EXPECT_EQ(ahead.scanned, plain.scanned);
  EXPECT_EQ(ahead.converted, plain.converted);
  EXPECT_EQ(ahead.processed, plain.processed);
  EXPECT_EQ(ahead.difference, plain.difference);
  EXPECT_EQ(ahead.files.size(), 12u);
  EXPECT_TRUE(ahead.files == plain.files);
}

TEST_F(ReadAhead, ThumbnailerIsTheSameWithAndWithoutIt) {
  MakeMixedDirectory(dir);
  auto run = [&](int threads, std::string& printed, uint32_t& created, uint32_t& scanned) {
    platform::ScopedThreadCount count(threads);
    ThumbnailerJob job;
    job.path = dir.path();
    job.suffix = "thumb.png";
    job.width = 24;
    job.height = 24;
    testing::internal::CaptureStdout();
    ThumbnailDirectory(nullptr, job, dir.path(), 0);
    printed = testing::internal::GetCapturedStdout();
    created = job.createdThumbnails.load();
    scanned = job.scannedFiles.load();
    std::map<std::string, std::vector<uint8_t>> thumbs;
    for (const auto& [name, bytes] : Contents(dir.path())) {
      if (name.size() > 9 && name.compare(name.size() - 9, 9, "thumb.png") == 0) {
        thumbs[name] = bytes;
        std::remove(dir.file(name).c_str());
      }
    }
    return thumbs;
  };
  std::string plainPrinted, aheadPrinted;
  uint32_t plainCreated = 0, aheadCreated = 0, plainScanned = 0, aheadScanned = 0;
  const auto plain = run(1, plainPrinted, plainCreated, plainScanned);
  const auto ahead = run(2, aheadPrinted, aheadCreated, aheadScanned);
  EXPECT_EQ(plainCreated, 12u);
  EXPECT_EQ(plain.size(), 12u);
  EXPECT_NE(plainPrinted.find("[FILE]: Error in datatype\nNot enough memory to load image\n"), std::string::npos);
  EXPECT_EQ(aheadPrinted, plainPrinted);
  EXPECT_EQ(aheadCreated, plainCreated);
  EXPECT_EQ(aheadScanned, plainScanned);
  EXPECT_TRUE(ahead == plain);
}

}  // namespace
}  // namespace vl::tools
