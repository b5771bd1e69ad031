#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/jpeg_test.h"
#include "app/save.h"
#include "formats/loader.h"
#include "test_support.h"
#include "unprivileged_files.h"

namespace vl::app {
namespace {

using vl::test::ReadFile;
using vl::test::ScopedEnv;
using vl::test::TempDir;

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Writes beyond `bytes` fail with EFBIG (SIGXFSZ ignored) for the scope: a save that runs
// out of room half way.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

// The sampling factors of the first colour component in a JPEG's frame header (0x22 for
// 2x2 subsampling, 0x11 for none); 0 when there is no frame header.
int FirstComponentSampling(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 11 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1)) return jpeg[i + 11];
  return 0;
}

struct NameCase {
  const char* path;
  SaveFormat format;
  bool replace;
  const char* expected;
};

TEST(SaveNameTest, SuggestedNamePerFormatAndSetting) {
  const NameCase cases[] = {
      {"/p/photo.png", SaveFormat::kJpeg, true, "/p/photo.jpg"},
      {"/p/photo.jpeg", SaveFormat::kPng, true, "/p/photo.png"},
      {"/p/photo.jpg", SaveFormat::kIff, true, "/p/photo.iff"},
      {"/p/a.b.JPG", SaveFormat::kPng, true, "/p/a.b.png"},
      {"/p/photo.jpg", SaveFormat::kPng, false, "/p/photo.jpg"},
      {"/p/photo.jpg", SaveFormat::kIff, false, "/p/photo.jpg"},
      {"/p/README", SaveFormat::kPng, true, "/p/README"},
      {"/p.d/README", SaveFormat::kJpeg, true, "/p.d/README"},  // the dot of a directory is no suffix
      {"T:pic.iff", SaveFormat::kJpeg, true, "T:pic.jpg"},
      {"", SaveFormat::kJpeg, true, ""},
  };
  for (const NameCase& c : cases)
    EXPECT_EQ(SuggestedName(c.path, c.format, c.replace), c.expected) << c.path << " " << c.replace;
}

TEST(SaveNameTest, FormatsTitlesAndStartPath) {
  EXPECT_EQ(SaveAsTitle(SaveFormatAt(0)), "Save JPEG");
  EXPECT_EQ(SaveAsTitle(SaveFormatAt(1)), "Save PNG");
  EXPECT_EQ(SaveAsTitle(SaveFormatAt(2)), "Save IFF");
  EXPECT_EQ(SaveFormatAt(3), SaveFormat::kJpeg);
  EXPECT_EQ(SaveFormatAt(-1), SaveFormat::kJpeg);

  const std::string longPath = "/" + std::string(2000, 'a') + ".jpg";
  EXPECT_EQ(SaveAsStartPath(longPath), longPath.substr(0, 1023));
  ScopedEnv t("VISTALOOM_ASSIGN_T", "/somewhere/tmp");
  EXPECT_EQ(SaveAsStartPath("T:pic.jpg"), "/somewhere/tmp/pic.jpg");
}

class SaveTest : public vl::test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    picture.reset(vl::test::RandomImage(64, 48, image::ARGB32, 7));
    // Alpha that varies, so a PNG with alpha differs from one without.
    for (int y = 0; y < picture->height; ++y)
      for (int x = 0; x < picture->width; ++x)
        picture->pixels[(static_cast<size_t>(y) * picture->width + x) * 4] = static_cast<uint8_t>(x * 4);
  }
  void TearDown() override {
    picture.reset();
    PoolTest::TearDown();
  }
  // An earlier file at path whose bytes a failed save must keep.
  std::vector<uint8_t> Earlier(const std::string& path) {
    const std::vector<uint8_t> bytes = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    EXPECT_TRUE(vl::test::WriteFile(path, bytes));
    return bytes;
  }

  image::ChunkyPtr picture;
  TempDir dir;
};

TEST_F(SaveTest, EachFormatWritesAFileThatLoadsBack) {
  for (int i = 0; i < kSaveFormatCount; ++i) {
    const SaveFormat f = SaveFormatAt(i);
    const std::string path = dir.file(std::string("pic.") + SaveFormatSuffix(f));
    SaveResult r = SavePicture(picture.get(), path, f, SaveOptions{});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.error.empty());
    image::TexturePtr back(formats::ReadPicture(path.c_str()));
    ASSERT_TRUE(back && back->chunky) << path;
    EXPECT_EQ(back->chunky->width, 64);
    EXPECT_EQ(back->chunky->height, 48);
    if (f == SaveFormat::kJpeg) continue;  // lossy
    // PNG without alpha and IFF keep the colours exactly, with alpha 255.
    for (int y = 0; y < 48; y += 7)
      for (int x = 0; x < 64; x += 5) {
        uint8_t a0, r0, g0, b0, a1, r1, g1, b1;
        image::GetPixel(picture.get(), x, y, a0, r0, g0, b0);
        image::GetPixel(back->chunky, x, y, a1, r1, g1, b1);
        ASSERT_EQ(std::vector<int>({255, r0, g0, b0}), std::vector<int>({a1, r1, g1, b1})) << path << " " << x;
      }
  }
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"pic.iff", "pic.jpg", "pic.png"}));
}

TEST_F(SaveTest, PngAlphaOptionReachesTheSaver) {
  SaveOptions withAlpha;
  withAlpha.png.withAlpha = true;
  ASSERT_TRUE(SavePicture(picture.get(), dir.file("a.png"), SaveFormat::kPng, withAlpha).ok);
  image::TexturePtr back(formats::ReadPicture(dir.file("a.png").c_str()));
  ASSERT_TRUE(back && back->chunky);
  for (int x = 0; x < 64; ++x) {
    uint8_t a, r, g, b;
    image::GetPixel(back->chunky, x, 3, a, r, g, b);
    ASSERT_EQ(a, x * 4) << x;
  }
}

TEST_F(SaveTest, JpegOptionsReachTheSaver) {
  auto saveWith = [&](const char* name, int quality, bool optimize, bool noSubsampling) {
    SaveOptions o;
    o.jpeg = {quality, optimize, noSubsampling};
    EXPECT_TRUE(SavePicture(picture.get(), dir.file(name), SaveFormat::kJpeg, o).ok);
    return ReadFile(dir.file(name));
  };
  const auto best = saveWith("q100.jpg", 100, false, false);
  const auto worst = saveWith("q5.jpg", 5, false, false);
  const auto optimized = saveWith("opt.jpg", 100, true, false);
  const auto full = saveWith("full.jpg", 100, false, true);
  EXPECT_LT(worst.size(), best.size());
  EXPECT_LT(optimized.size(), best.size());
  EXPECT_EQ(FirstComponentSampling(best), 0x22);
  EXPECT_EQ(FirstComponentSampling(full), 0x11);
  // A quality outside 5..100 is taken as the nearest end of the range.
  EXPECT_EQ(saveWith("q1.jpg", 1, false, false), worst);
  EXPECT_EQ(saveWith("q200.jpg", 200, false, false), best);
}

TEST_F(SaveTest, FailuresNameThePathAndTheReasonAndKeepTheEarlierFile) {
  // Without a picture or a name.
  EXPECT_EQ(SavePicture(nullptr, dir.file("x.jpg"), SaveFormat::kJpeg, {}).error, "There is no picture to save.");
  EXPECT_FALSE(SavePicture(picture.get(), "", SaveFormat::kPng, {}).ok);

  // A directory that does not exist.
  const std::string missing = dir.file("missing/pic.png");
  SaveResult r = SavePicture(picture.get(), missing, SaveFormat::kPng, {});
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(Contains(r.error, "\"" + missing + "\"")) << r.error;
  EXPECT_TRUE(Contains(r.error, std::strerror(ENOENT))) << r.error;

  // A directory in the target's place: the whole file is written, the rename fails.
  ASSERT_EQ(::mkdir(dir.file("taken.jpg").c_str(), 0755), 0);
  r = SavePicture(picture.get(), dir.file("taken.jpg"), SaveFormat::kJpeg, {});
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(Contains(r.error, std::strerror(EISDIR))) << r.error;
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"taken.jpg"});

  // Running out of room half way through each saver.
  const std::string earlier = dir.file("earlier.pic");
  const std::vector<uint8_t> bytes = Earlier(earlier);
  for (int i = 0; i < kSaveFormatCount; ++i) {
    {
      FileSizeLimit limit(2000);
      r = SavePicture(picture.get(), earlier, SaveFormatAt(i), {});
    }
    EXPECT_FALSE(r.ok) << i;
    EXPECT_TRUE(Contains(r.error, std::strerror(EFBIG))) << r.error;
    EXPECT_EQ(ReadFile(earlier), bytes) << i;
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"earlier.pic", "taken.jpg"})) << i;
  }
}

TEST_F(SaveTest, ReadOnlyDirectoryKeepsTheEarlierFile) {
  const std::string ro = dir.file("ro");
  ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
  const std::string target = ro + "/pic.png";
  const std::vector<uint8_t> bytes = Earlier(target);
  ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  SaveResult r;
  {
    vl::test::UnprivilegedFiles user;
    if (!user.active()) GTEST_SKIP() << "permission bits cannot be made to apply";
    r = SavePicture(picture.get(), target, SaveFormat::kPng, {});
  }
  ::chmod(ro.c_str(), 0755);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(Contains(r.error, "\"" + target + "\"")) << r.error;
  EXPECT_TRUE(Contains(r.error, std::strerror(EACCES))) << r.error;
  EXPECT_EQ(ReadFile(target), bytes);
  EXPECT_EQ(Names(ro), std::vector<std::string>{"pic.png"});
}

TEST_F(SaveTest, WritableFileInAReadOnlyDirectoryIsOverwrittenInPlace) {
  const std::string ro = dir.file("ro");
  ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  for (int i = 0; i < kSaveFormatCount; ++i) {
    const SaveFormat f = SaveFormatAt(i);
    SCOPED_TRACE(SaveFormatName(f));
    const std::string target = ro + "/pic." + SaveFormatSuffix(f);
    const std::vector<uint8_t> bytes = Earlier(target);
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
    SaveResult tooBig, r;
    std::vector<uint8_t> afterTooBig;
    {
      vl::test::UnprivilegedFiles user;
      if (!user.active()) {
        ::chmod(ro.c_str(), 0755);
        GTEST_SKIP() << "permission bits cannot be made to apply";
      }
      {
        // No room for the new length: refused before a byte of the earlier file changes.
        FileSizeLimit limit(2000);
        tooBig = SavePicture(picture.get(), target, f, {});
      }
      afterTooBig = ReadFile(target);
      r = SavePicture(picture.get(), target, f, {});
    }
    ::chmod(ro.c_str(), 0755);
    EXPECT_FALSE(tooBig.ok);
    EXPECT_TRUE(Contains(tooBig.error, std::strerror(EFBIG))) << tooBig.error;
    EXPECT_EQ(afterTooBig, bytes);
    ASSERT_TRUE(r.ok) << r.error;
    // The file is now the picture, whole: the same bytes a save into a writable directory gives.
    const std::string plain = dir.file(std::string("plain.") + SaveFormatSuffix(f));
    ASSERT_TRUE(SavePicture(picture.get(), plain, f, {}).ok);
    const std::vector<uint8_t> written = ReadFile(target);
    if (f == SaveFormat::kIff) {
      // The NAME chunk holds the path the picture was saved to; the rest is the same.
      image::TexturePtr back(formats::ReadPicture(target.c_str()));
      ASSERT_TRUE(back && back->chunky);
      EXPECT_EQ(back->chunky->width, 64);
    } else {
      EXPECT_EQ(written, ReadFile(plain));
    }
    EXPECT_NE(written, bytes);
    EXPECT_EQ(Names(ro).size(), static_cast<size_t>(i + 1)) << "no temporary file was left";
    ::unlink(plain.c_str());
  }
}

TEST_F(SaveTest, PicturesTooWideForTheFormatAreRefusedWithTheLimit) {
  image::ChunkyPtr wide(image::chk_Create(65536, 1, image::ARGB32, true));
  ASSERT_TRUE(wide);
  SaveResult r = SavePicture(wide.get(), dir.file("wide.iff"), SaveFormat::kIff, {});
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(Contains(r.error, "65535")) << r.error;
  r = SavePicture(wide.get(), dir.file("wide.jpg"), SaveFormat::kJpeg, {});
  EXPECT_TRUE(Contains(r.error, "65500")) << r.error;
  EXPECT_TRUE(SavePicture(wide.get(), dir.file("wide.png"), SaveFormat::kPng, {}).ok);
}

TEST_F(SaveTest, FailureReasonIgnoresAStaleErrnoButNotAFileError) {
  const std::string target = dir.file("fine.jpg");
  EXPECT_EQ(SaveFailureReason(target, ENOTTY), "");
  EXPECT_EQ(SaveFailureReason(target, 0), "");
  EXPECT_EQ(SaveFailureReason(target, ENOSPC), std::strerror(ENOSPC));
  EXPECT_EQ(SaveFailureReason(dir.file("no/such.jpg"), ENOSPC), std::strerror(ENOENT));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{});  // the probe file is gone
}

TEST(JpegTestTextTest, SizeTextAndTemporaryNames) {
  EXPECT_EQ(JpegTestSizeText(12345), "12345 bytes (12 kB)");
  EXPECT_EQ(JpegTestSizeText(1023), "1023 bytes (0 kB)");
  EXPECT_EQ(JpegTestSizeText(1024), "1024 bytes (1 kB)");
  EXPECT_EQ(JpegTestSizeText(0), "0 bytes (0 kB)");

  const std::string prefix = "T:VLTemp-" + std::to_string(::getpid()) + "-";
  const std::string a = JpegTestTempName(), b = JpegTestTempName();
  EXPECT_EQ(a.rfind(prefix, 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 4), ".jpg");
  EXPECT_NE(a, b);
}

class JpegTestTest : public SaveTest {
 protected:
  void SetUp() override {
    SaveTest::SetUp();
    ASSERT_EQ(::mkdir(tempDir().c_str(), 0700), 0);
  }
  std::string tempDir() const { return dir.file("t"); }
  ScopedEnv assignT{"VISTALOOM_ASSIGN_T", dir.file("t")};
};

TEST_F(JpegTestTest, ResultIsTheDecodedFileAndItsSizeAndTheFileIsGone) {
  JpegSaveOptions o{40, true, false};
  JpegTestResult r = RunJpegTest(picture.get(), o, "T:test.jpg");
  ASSERT_TRUE(r.ok);
  ASSERT_TRUE(r.picture && r.picture->chunky);
  EXPECT_EQ(r.picture->chunky->width, 64);
  EXPECT_EQ(r.picture->chunky->format, image::ARGB32);
  // The size is that of the file the same options write.
  SaveOptions same;
  same.jpeg = o;
  ASSERT_TRUE(SavePicture(picture.get(), dir.file("same.jpg"), SaveFormat::kJpeg, same).ok);
  EXPECT_EQ(r.size, static_cast<int64_t>(ReadFile(dir.file("same.jpg")).size()));
  EXPECT_EQ(r.text, JpegTestSizeText(r.size));
  EXPECT_EQ(Names(tempDir()), std::vector<std::string>{});
}

TEST_F(JpegTestTest, FailedSaveOrLoadShowsErrorAndLeavesNoFile) {
  // The save fails half way.
  JpegTestResult r;
  {
    FileSizeLimit limit(1000);
    r = RunJpegTest(picture.get(), {}, "T:test.jpg");
  }
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.text, "Error");
  EXPECT_FALSE(r.picture);
  EXPECT_EQ(Names(tempDir()), std::vector<std::string>{});

  // The save works, the load does not: the file is deleted all the same.
  bool sawFile = false;
  r = RunJpegTest(picture.get(), {}, "T:test.jpg", [&](const char* path) -> image::Texture* {
    sawFile = ::access(path, F_OK) == 0;
    return nullptr;
  });
  EXPECT_TRUE(sawFile);
  EXPECT_EQ(r.text, "Error");
  EXPECT_EQ(Names(tempDir()), std::vector<std::string>{});

  // No directory to write to.
  r = RunJpegTest(picture.get(), {}, "T:none/test.jpg");
  EXPECT_EQ(r.text, "Error");
}

// Drains the queue until done ran (or a generous time passed, so a fault fails the test
// instead of hanging it).
bool DrainUntil(platform::SimpleMainThreadQueue& queue, const bool& done) {
  for (int i = 0; i < 6000 && !done; ++i) {
    queue.RunPending();
    if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done;
}

TEST_F(JpegTestTest, RunnerWorksOnACopyOffThisThreadAndReportsThroughTheQueue) {
  platform::SimpleMainThreadQueue queue;
  JpegTestRunner runner(queue);
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id readerThread, doneThread;
  runner.SetReader([&](const char* path) {
    readerThread = std::this_thread::get_id();
    return formats::ReadPicture(path);
  });
  JpegTestResult got;
  bool done = false;
  ASSERT_TRUE(runner.Start(picture.get(), {}, [&](JpegTestResult r) {
    doneThread = std::this_thread::get_id();
    got = std::move(r);
    done = true;
  }));
  picture.reset();  // the worker has its own copy
  EXPECT_TRUE(runner.running());
  EXPECT_FALSE(runner.Start(picture.get(), {}, [](JpegTestResult) {}));
  ASSERT_TRUE(DrainUntil(queue, done));
  EXPECT_FALSE(runner.running());
  EXPECT_NE(readerThread, self);
  EXPECT_EQ(doneThread, self);
  EXPECT_TRUE(got.ok);
  ASSERT_TRUE(got.picture);
  EXPECT_EQ(got.picture->chunky->height, 48);
  EXPECT_EQ(Names(tempDir()), std::vector<std::string>{});

  // A second test replaces the first one's result.
  image::ChunkyPtr other(vl::test::RandomImage(20, 10, image::ARGB32, 3));
  done = false;
  ASSERT_TRUE(runner.Start(other.get(), {}, [&](JpegTestResult r) {
    got = std::move(r);
    done = true;
  }));
  ASSERT_TRUE(DrainUntil(queue, done));
  ASSERT_TRUE(got.picture);
  EXPECT_EQ(got.picture->chunky->width, 20);
}

TEST_F(JpegTestTest, RunnerDestroyedDuringATestDropsTheResult) {
  platform::SimpleMainThreadQueue queue;
  bool called = false;
  {
    JpegTestRunner runner(queue);
    ASSERT_TRUE(runner.Start(picture.get(), {}, [&](JpegTestResult) { called = true; }));
  }  // waits for the worker
  EXPECT_EQ(queue.RunPending(), 1);
  EXPECT_FALSE(called);
  EXPECT_EQ(Names(tempDir()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vl::app
