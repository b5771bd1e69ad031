// Type queries, size texts, suffix and directory parts, whole-file loading, data packs,
// copying and recursive delete.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "formats/decoders.h"
#include "formats/file_copy.h"
#include "formats/file_load.h"
#include "formats/file_tree.h"
#include "formats/file_type.h"
#include "formats/path_parts.h"
#include "formats/size_text.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

std::string SizeText(uint64_t size) {
  char buf[64];
  formats::FormatFileSize(buf, sizeof buf, size);
  return buf;
}

TEST(FormatFileSizeTest, UnitBoundariesTruncateTheDecimal) {
  EXPECT_EQ(SizeText(0), "0 bytes");
  EXPECT_EQ(SizeText(10239), "10239 bytes");
  EXPECT_EQ(SizeText(10240), "10.0 KB");
  EXPECT_EQ(SizeText(11263), "10.9 KB");  // 10.999 KB, never rounded up
  EXPECT_EQ(SizeText(1048575), "1023.9 KB");
  EXPECT_EQ(SizeText(1048576), "1.0 MB");
  EXPECT_EQ(SizeText(2097151), "1.9 MB");
  EXPECT_EQ(SizeText(0x3FFFFFFFull), "1023.9 MB");
  EXPECT_EQ(SizeText(0x40000000ull), "1.0 GB");
  EXPECT_EQ(SizeText((1ull << 40) - 1), "1023.9 GB");
  EXPECT_EQ(SizeText(1ull << 40), "1.0 TB");
  EXPECT_EQ(SizeText((1ull << 40) * 5 + (1ull << 39)), "5.5 TB");
  EXPECT_EQ(SizeText(UINT64_MAX), "16777215.9 TB");
}

TEST(FormatFileSizeTest, ShortBufferIsCutNotOverrun) {
  char buf[6];
  std::memset(buf, 'x', sizeof buf);
  formats::FormatFileSize(buf, 4, 1048576);
  EXPECT_STREQ(buf, "1.0");
  EXPECT_EQ(buf[4], 'x');
}

TEST(PathTextTest, ReplaceSuffix) {
  EXPECT_EQ(formats::ReplaceSuffix("a.b.jpg", "png"), "a.b.png");
  EXPECT_EQ(formats::ReplaceSuffix("README", "png"), "README");
  EXPECT_EQ(formats::ReplaceSuffix("dir/pic.", "jpg"), "dir/pic.jpg");
  EXPECT_EQ(formats::ReplaceSuffix(".hidden", "x"), ".x");
}

TEST(PathTextTest, DirPart) {
  EXPECT_EQ(formats::DirPart("a/b/c.jpg"), "a/b/");
  EXPECT_EQ(formats::DirPart("/c.jpg"), "/");
  EXPECT_EQ(formats::DirPart("c.jpg"), "");
  EXPECT_EQ(formats::DirPart("a/b/"), "a/b/");
}

class LoaderFilesTest : public LoaderTest {};

TEST_F(LoaderFilesTest, LoadFileAndFileSize) {
  Bytes data = {1, 2, 3, 0, 5};
  std::string path = Write("d.bin", data);
  auto loaded = formats::LoadFile(path.c_str());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, data);
  EXPECT_EQ(formats::FileSize(path.c_str()), 5u);
  auto empty = formats::LoadFile(Write("e.bin", {}).c_str());
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());

  std::string missing = dir_.file("none");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(formats::LoadFile(missing.c_str()));
  EXPECT_EQ(formats::FileSize(missing.c_str()), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[DATA]:FileSize: Failed to find a file: " + missing + "\n");

  formats::SetVerbose(true);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(formats::LoadFile(missing.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[DATA]:LoadFile: Failed to find a file: " + missing + "\n");
  formats::SetVerbose(false);
}

TEST_F(LoaderFilesTest, DataPacksAreAskedFirst) {
  std::string pack = Write("pack.dat", {'h', 'e', 'a', 'd', 'A', 'B', 'C', 'x', 'y'});
  ASSERT_TRUE(formats::RegisterDataPack(pack, {{"Icons/Def.png", 3, 4}, {"other", 2, 7}}));
  auto hit = formats::LoadFile("PROGDIR:icons/def.png");
  ASSERT_TRUE(hit);
  EXPECT_EQ(*hit, (Bytes{'A', 'B', 'C'}));
  EXPECT_EQ(formats::FileSize("progdir:ICONS/DEF.PNG"), 3u);
  auto other = formats::LoadFile("other");
  ASSERT_TRUE(other);
  EXPECT_EQ(*other, (Bytes{'x', 'y'}));
  // "progdir:" alone is not longer than 8 characters: no prefix to drop.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(formats::LoadFile("progdir:"));
  testing::internal::GetCapturedStdout();
  formats::UnregisterDataPacks();
  testing::internal::CaptureStdout();
  EXPECT_EQ(formats::FileSize("other"), 0u);
  testing::internal::GetCapturedStdout();
}

TEST_F(LoaderFilesTest, CopyFile) {
  Bytes big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 31 + i / 256);
  std::string src = Write("src", big);
  std::string dst = dir_.file("dst");
  EXPECT_EQ(formats::CopyFile(src.c_str(), dst.c_str()), 1);
  EXPECT_EQ(ReadFile(dst), big);
  // Overwrites an existing file.
  Write("dst2", {9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
  EXPECT_EQ(formats::CopyFile(Write("small", {1, 2}).c_str(), dir_.file("dst2").c_str()), 1);
  EXPECT_EQ(ReadFile(dir_.file("dst2")), (Bytes{1, 2}));
}

TEST_F(LoaderFilesTest, FailedCopiesLeaveTheDestination) {
  Bytes keep = {7, 7, 7};
  std::string dst = Write("keep", keep);
  EXPECT_EQ(formats::CopyFile(dir_.file("missing").c_str(), dst.c_str()), 0);
  EXPECT_EQ(ReadFile(dst), keep);
  EXPECT_EQ(formats::CopyFile(dir_.path().c_str(), dst.c_str()), 0);  // a directory is no source
  EXPECT_EQ(ReadFile(dst), keep);
  // Onto itself, also through another name for it.
  EXPECT_EQ(formats::CopyFile(dst.c_str(), dst.c_str()), 0);
  ASSERT_EQ(::symlink(dst.c_str(), dir_.file("alias").c_str()), 0);
  EXPECT_EQ(formats::CopyFile(dst.c_str(), dir_.file("alias").c_str()), 0);
  EXPECT_EQ(ReadFile(dst), keep);
  EXPECT_EQ(formats::CopyFile(dst.c_str(), dir_.file("no/such/dir/x").c_str()), 0);
}

TEST_F(LoaderFilesTest, DeleteTreeRemovesEverythingButFollowsNoLinks) {
  std::string root = dir_.file("tree");
  ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((root + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((root + "/sub/deeper").c_str(), 0755), 0);
  WriteFile(root + "/a", std::string("a"));
  WriteFile(root + "/sub/b", std::string("b"));
  WriteFile(root + "/sub/deeper/c", std::string("c"));
  std::string outside = dir_.file("outside");
  ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
  WriteFile(outside + "/precious", std::string("p"));
  ASSERT_EQ(::symlink(outside.c_str(), (root + "/sub/link").c_str()), 0);
  EXPECT_TRUE(formats::DeleteTree(root.c_str()));
  struct stat st;
  EXPECT_NE(::lstat(root.c_str(), &st), 0);
  EXPECT_EQ(::stat((outside + "/precious").c_str(), &st), 0);
  EXPECT_FALSE(formats::DeleteTree(root.c_str()));  // already gone
}

TEST_F(LoaderFilesTest, TypeNamesAndPictureTest) {
  PngSpec s;
  s.rows = {{1, 2, 3}};
  std::string png = Write("pic.dat", EncodePng(s));
  formats::DataTypeName t = formats::GetDataTypeName(png.c_str());
  EXPECT_EQ(t.group, formats::kGroupPicture);
  EXPECT_EQ(t.name, "PNG");
  EXPECT_TRUE(formats::IsPictureFile(png.c_str()));

  std::string jpeg = Write("j", EncodeJpeg(8, 8, 1, Bytes(64, 1)));
  EXPECT_EQ(formats::GetDataTypeName(jpeg.c_str()).name, "JPEG");

  std::string text = dir_.file("notes.png");
  ASSERT_TRUE(WriteFile(text, std::string("Just some plain words.\nAnd another line.\n")));
  formats::DataTypeName tt = formats::GetDataTypeName(text.c_str());
  EXPECT_EQ(tt.group, formats::kGroupText);
  EXPECT_NE(tt.name.find("text"), std::string::npos) << tt.name;
  EXPECT_FALSE(formats::IsPictureFile(text.c_str()));  // the suffix does not count

  Bytes noise(300);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 2654435761u) >> 13);
  std::string unknown = Write("noise", noise);
  EXPECT_EQ(formats::GetDataTypeName(unknown.c_str()).name, "Unknown");
  char buf[32] = "stale";
  EXPECT_TRUE(formats::GetDataTypeName(png.c_str(), buf, sizeof buf));
  EXPECT_STREQ(buf, "PNG");
  EXPECT_FALSE(formats::GetDataTypeName(dir_.file("missing").c_str(), buf, sizeof buf));
  EXPECT_STREQ(buf, "Unknown");
  EXPECT_EQ(formats::GetDataTypeName(dir_.file("missing").c_str()).group, 0u);

  // Sun Raster names count as pictures whatever they hold; missing files included.
  EXPECT_TRUE(formats::IsPictureFile(dir_.file("x.RAS24").c_str()));
  EXPECT_TRUE(formats::IsPictureFile(dir_.file("x.ras").c_str()));
  EXPECT_FALSE(formats::IsPictureFile(dir_.file("x.ras16").c_str()));
}

}  // namespace
}  // namespace vl::test
