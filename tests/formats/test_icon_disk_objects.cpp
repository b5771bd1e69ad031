// The icon library's calls on PNG icons: name + ".info" read with its picture, written back
// with a new default tool, and refused cleanly when broken.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

#include "formats/icon.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::TempDir;

class IconObjects : public test::PoolTest {
 protected:
  TempDir dir;
  // Writes dir/name.info from a random picture with the given metadata.
  image::ChunkyPtr Write(const std::string& name, const std::string& tool) {
    image::ChunkyPtr px(test::RandomImage(7, 5, image::ARGB32, 3));
    DiskObject obj;
    obj.defaultTool = tool;
    obj.toolTypes = {"FILETYPE=picture", "DONOTWAIT"};
    EXPECT_TRUE(PutDiskObject(dir.file(name) + kIconSuffix, obj, px.get()));
    return px;
  }
};

TEST_F(IconObjects, ReadsThePictureAndTheMetadataOfNamePlusInfo) {
  image::ChunkyPtr px = Write("a.jpg", "SYS:View");
  DiskObjectPtr icon(GetDiskObject(dir.file("a.jpg")));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->defaultTool, "SYS:View");
  EXPECT_EQ(icon->toolTypes, (std::vector<std::string>{"FILETYPE=picture", "DONOTWAIT"}));
  ASSERT_TRUE(icon->image);
  ASSERT_EQ(icon->image->width, 7);
  ASSERT_EQ(icon->image->height, 5);
  EXPECT_EQ(std::memcmp(icon->image->pixels, px->pixels, 7 * 5 * 4), 0);  // alpha included
  EXPECT_EQ(GetDiskObject(dir.file("a.jpg.info")), nullptr);              // no a.jpg.info.info
}

TEST_F(IconObjects, ANewDefaultToolKeepsPictureAndToolTypes) {
  image::ChunkyPtr px = Write("a.jpg", "");
  DiskObjectPtr icon(GetDiskObject(dir.file("a.jpg")));
  ASSERT_TRUE(icon);
  icon->defaultTool = "Work:Tools/Viewer";
  ASSERT_TRUE(PutDiskObject(dir.file("a.jpg"), icon.get()));
  DiskObjectPtr again(GetDiskObject(dir.file("a.jpg")));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->defaultTool, "Work:Tools/Viewer");
  EXPECT_EQ(again->toolTypes, icon->toolTypes);
  EXPECT_EQ(std::memcmp(again->image->pixels, px->pixels, 7 * 5 * 4), 0);
}

TEST_F(IconObjects, TheIconStaysAPlainPngForOtherReaders) {
  Write("a.jpg", "SYS:View");
  // libpng's own reader takes the whole file without complaint.
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, (dir.file("a.jpg") + kIconSuffix).c_str()));
  png.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(png));
  EXPECT_TRUE(png_image_finish_read(&png, nullptr, buf.data(), 0, nullptr));
  EXPECT_EQ(png.warning_or_error, 0u);
}

TEST_F(IconObjects, MissingBrokenAndCutIconsGiveNull) {
  EXPECT_EQ(GetDiskObject(dir.file("none")), nullptr);
  ASSERT_TRUE(test::WriteFile(dir.file("text.info"), std::string("not a png")));
  EXPECT_EQ(GetDiskObject(dir.file("text")), nullptr);
  Write("cut", "T");
  std::vector<uint8_t> whole = test::ReadFile(dir.file("cut.info"));
  ASSERT_TRUE(test::WriteFile(dir.file("cut.info"), std::vector<uint8_t>(whole.begin(), whole.end() - 20)));
  EXPECT_EQ(GetDiskObject(dir.file("cut")), nullptr);
}

TEST_F(IconObjects, PutWithoutAPictureOrIntoNowhereFailsAndKeepsTheOldFile) {
  Write("a.jpg", "Old");
  DiskObject bare;
  bare.defaultTool = "New";
  EXPECT_FALSE(PutDiskObject(dir.file("a.jpg"), &bare));
  EXPECT_FALSE(PutDiskObject(dir.file("a.jpg"), nullptr));
  DiskObjectPtr icon(GetDiskObject(dir.file("a.jpg")));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->defaultTool, "Old");
  EXPECT_FALSE(PutDiskObject(dir.file("no/such/dir/a.jpg"), icon.get()));
}

}  // namespace
}  // namespace vl::formats
