#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/clipboard.h"
#include "formats/loader.h"
#include "image/chunky.h"
#include "savers_test_util.h"
#include "test_support.h"

namespace vl::formats {
namespace {

class Clipboard : public test::PoolTest {
 protected:
  test::TempDir dir_;
  std::string clips_ = dir_.path() + "/run/clips";
  test::ScopedEnv env_{"VISTALOOM_ASSIGN_CLIPS", clips_};

  std::string Unit() const { return clips_ + "/0"; }
  std::vector<std::string> ClipEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(clips_)) names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(Clipboard, UnitIsTheFileZeroOfTheClipsAssign) {
  EXPECT_EQ(ClipboardUnitPath(), Unit());
}

TEST_F(Clipboard, ImageGoesOnUnitZeroAsIlbmWithEmptyName) {
  image::ChunkyPtr img(test::RandomImage(23, 7, image::ARGB32, 21));
  ASSERT_TRUE(img);
  ASSERT_EQ(ClipboardWriteImage(img.get()), 1);
  // The directory is made private.
  struct stat st;
  ASSERT_EQ(::stat(clips_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  std::vector<uint8_t> bytes = test::ReadFile(Unit());
  test::IffForm form = test::ParseForm(bytes);
  ASSERT_TRUE(form.ok) << form.error;
  EXPECT_EQ(form.type, "ILBM");
  ASSERT_EQ(form.chunks.size(), 3u);
  EXPECT_EQ(form.chunks[0].id, "NAME");
  EXPECT_TRUE(form.chunks[0].data.empty());
  EXPECT_EQ(form.chunks[1].id, "BMHD");
  EXPECT_EQ(form.chunks[2].id, "BODY");

  test::DecodedIlbm d = test::DecodeIlbm(bytes);
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.rgb.size(), 23u * 7 * 3);
  for (size_t i = 0; i < 23u * 7; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(d.rgb[i * 3 + c], img->pixels[i * 4 + 1 + c]) << i;
  EXPECT_EQ(ClipEntries(), std::vector<std::string>{"0"});
}

TEST_F(Clipboard, CopiedImagePastesBackWithTheSamePixelsAndOpaqueAlpha) {
  for (int w : {1, 16, 17, 45}) {
    image::ChunkyPtr img(test::RandomImage(w, 9, image::ARGB32, static_cast<uint32_t>(30 + w)));
    ASSERT_TRUE(img);
    ASSERT_EQ(ClipboardWriteImage(img.get()), 1);
    image::TexturePtr pasted(ReadPicture(nullptr));
    ASSERT_TRUE(pasted) << "width " << w;
    EXPECT_EQ(pasted->name, "Clipboard");
    const image::ChunkyImage* c = pasted->chunky;
    ASSERT_EQ(c->width, w);
    ASSERT_EQ(c->height, 9);
    ASSERT_EQ(c->format, image::ARGB32);
    bool sourceHadAlpha = false;
    for (size_t i = 0; i < static_cast<size_t>(w) * 9; ++i) {
      const uint8_t* s = img->pixels + i * 4;
      const uint8_t* d = c->pixels + i * 4;
      ASSERT_EQ(d[0], 255) << "width " << w << " pixel " << i;
      ASSERT_EQ(d[1], s[1]) << "width " << w << " pixel " << i;
      ASSERT_EQ(d[2], s[2]) << "width " << w << " pixel " << i;
      ASSERT_EQ(d[3], s[3]) << "width " << w << " pixel " << i;
      if (s[0] != 255) sourceHadAlpha = true;
    }
    EXPECT_TRUE(sourceHadAlpha);
  }
}

TEST_F(Clipboard, TextGoesOnUnitZeroAsFtxt) {
  ClipboardWriteText("hello");  // odd length: padded
  std::vector<uint8_t> bytes = test::ReadFile(Unit());
  ASSERT_EQ(bytes.size(), 12u + 8 + 6);
  test::IffForm form = test::ParseForm(bytes);
  ASSERT_TRUE(form.ok) << form.error;
  EXPECT_EQ(form.type, "FTXT");
  ASSERT_EQ(form.chunks.size(), 1u);
  EXPECT_EQ(form.chunks[0].id, "CHRS");
  EXPECT_EQ(std::string(form.chunks[0].data.begin(), form.chunks[0].data.end()), "hello");

  EXPECT_EQ(ClipboardWriteText("/a/path/with spaces.jpg"), 0);
  form = test::ParseForm(test::ReadFile(Unit()));
  ASSERT_TRUE(form.ok) << form.error;
  ASSERT_EQ(form.chunks.size(), 1u);
  EXPECT_EQ(std::string(form.chunks[0].data.begin(), form.chunks[0].data.end()), "/a/path/with spaces.jpg");
}

TEST_F(Clipboard, NullOrEmptyTextLeavesTheClipboardAlone) {
  EXPECT_EQ(ClipboardWriteText(nullptr), 0);
  EXPECT_EQ(ClipboardWriteText(""), 0);
  EXPECT_FALSE(std::filesystem::exists(Unit()));
  ClipboardWriteText("keep");
  std::vector<uint8_t> before = test::ReadFile(Unit());
  ClipboardWriteText("");
  ClipboardWriteText(nullptr);
  EXPECT_EQ(test::ReadFile(Unit()), before);
}

TEST_F(Clipboard, EachWriteReplacesTheWholeUnit) {
  image::ChunkyPtr img(test::RandomImage(64, 64, image::ARGB32, 22));
  ASSERT_EQ(ClipboardWriteImage(img.get()), 1);
  ASSERT_GT(test::ReadFile(Unit()).size(), 1000u);
  // A shorter FORM leaves nothing of the longer one behind.
  ClipboardWriteText("ab");
  std::vector<uint8_t> bytes = test::ReadFile(Unit());
  EXPECT_EQ(bytes.size(), 12u + 8 + 2);
  EXPECT_TRUE(test::ParseForm(bytes).ok);
  ASSERT_EQ(ClipboardWriteImage(img.get()), 1);
  EXPECT_EQ(test::ParseForm(test::ReadFile(Unit())).type, "ILBM");
  EXPECT_EQ(ClipEntries(), std::vector<std::string>{"0"});
}

TEST_F(Clipboard, FailedWriteLeavesTheOldContents) {
  ClipboardWriteText("old clip");
  std::vector<uint8_t> before = test::ReadFile(Unit());
  ASSERT_FALSE(before.empty());
  image::ChunkyPtr img(test::RandomImage(300, 200, image::ARGB32, 23));
  int rc;
  {
    test::FileSizeLimit limit(8192);
    ASSERT_TRUE(limit.active());
    testing::internal::CaptureStdout();
    rc = ClipboardWriteImage(img.get());
    testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(test::ReadFile(Unit()), before);
  EXPECT_EQ(ClipEntries(), std::vector<std::string>{"0"});
}

TEST_F(Clipboard, UnopenableUnitIsReported) {
  // The clips directory cannot be made below a plain file.
  ASSERT_TRUE(test::WriteFile(dir_.file("plain"), std::string("x")));
  test::ScopedEnv blocked("VISTALOOM_ASSIGN_CLIPS", dir_.file("plain") + "/clips");
  image::ChunkyPtr img(test::RandomImage(4, 4, image::ARGB32, 24));
  testing::internal::CaptureStdout();
  int rc = ClipboardWriteImage(img.get());
  ClipboardWriteText("text");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "failed to open clipboard unit\nfailed to open clipboard unit\n");
}

TEST_F(Clipboard, ImagesAnIlbmCannotHoldAreRefused) {
  ClipboardWriteText("old clip");
  std::vector<uint8_t> before = test::ReadFile(Unit());
  image::ChunkyPtr grey(image::chk_Create(4, 4, image::GREY8, true));
  image::ChunkyPtr wide(image::chk_Create(70000, 1, image::ARGB32, true));
  ASSERT_TRUE(grey && wide);
  EXPECT_EQ(ClipboardWriteImage(grey.get()), 0);
  EXPECT_EQ(ClipboardWriteImage(wide.get()), 0);
  EXPECT_EQ(ClipboardWriteImage(static_cast<const image::ChunkyImage*>(nullptr)), 0);
  EXPECT_EQ(ClipboardWriteImage(static_cast<const image::Texture*>(nullptr)), 0);
  EXPECT_EQ(test::ReadFile(Unit()), before);
}

}  // namespace
}  // namespace vl::formats
