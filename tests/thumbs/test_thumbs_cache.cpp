#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cache_test_codec.h"
#include "platform/paths.h"
#include "test_support.h"
#include "thumbs/cache.h"

namespace vl::thumbs {
namespace {

using image::ChunkyPtr;
using vl::test::ReadFile;
using vl::test::TempDir;
using vl::test::WriteFile;

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

std::string Canonical(const std::string& p) {
  char* r = ::realpath(p.c_str(), nullptr);
  std::string s = r ? r : "";
  std::free(r);
  return s;
}

// Names in the directory of a cache file other than the cache file itself.
std::vector<std::string> Strays(const std::string& cacheFile) {
  std::vector<std::string> out;
  std::string dir = cacheFile.substr(0, cacheFile.rfind('/'));
  std::string name = cacheFile.substr(cacheFile.rfind('/') + 1);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != ".." && n != name) out.push_back(n);
  }
  ::closedir(d);
  return out;
}

void SetMtime(const std::string& path, time_t sec, long nsec) {
  struct timespec ts[2] = {{sec, nsec}, {sec, nsec}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

class CacheTest : public vl::test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    root_ = dir_.file("cache");
    cache_.root = root_ + "/";
    cache_.codec = testcodec::Codec();
    ASSERT_EQ(::mkdir(dir_.file("src").c_str(), 0755), 0);
    source_ = dir_.file("src/photo.jpg");
    ASSERT_TRUE(WriteFile(source_, std::string(1234, 'j')));
    SetMtime(source_, 1600000000, 500000000);
    ASSERT_TRUE(FileDateStamp(source_, date_));
  }
  void TearDown() override {
    testing::ForceSideFileComments(false);
    testcodec::gFailSave = false;
    PoolTest::TearDown();
  }
  ChunkyPtr Thumb(uint32_t format = image::RGB24, uint32_t seed = 7) {
    return ChunkyPtr(vl::test::RandomImage(12, 9, format, seed));
  }
  bool Store(const image::ChunkyImage* t, uint32_t compression = 0, uint32_t bw = 120, uint32_t bh = 90) {
    return StoreImage(cache_, source_, t, compression, 1234, date_, bw, bh, 640, 480, "JPEG");
  }
  CacheEntryPtr Load(uint32_t size = 1234, uint32_t bw = 120, uint32_t bh = 90) {
    return CacheEntryPtr(LoadImage(cache_, source_, size, date_, bw, bh));
  }
  std::string CacheFile() { return CacheFilePath(cache_.root, source_); }

  TempDir dir_;
  std::string root_;
  CacheContext cache_;
  std::string source_;
  DateStamp date_;
};

TEST(CacheDate, StampsCountFrom1978) {
  DateStamp d = DateStampFromTime(252460800, 0);
  EXPECT_EQ(d.days, 0);
  EXPECT_EQ(d.minutes, 0);
  EXPECT_EQ(d.ticks, 0);
  d = DateStampFromTime(252460800 + 86400 + 60 + 1, 500000000);
  EXPECT_EQ(d.days, 1);
  EXPECT_EQ(d.minutes, 1);
  EXPECT_EQ(d.ticks, 75);
  d = DateStampFromTime(252460800 - 1, 990000000);  // the last tick of 1977
  EXPECT_EQ(d.days, -1);
  EXPECT_EQ(d.minutes, 1439);
  EXPECT_EQ(d.ticks, 59 * 50 + 49);
}

TEST(CacheComments, FormatAndParseRoundTrip) {
  CacheComment c;
  c.compression = 2;
  c.sourceSize = 0xDEADBEEF;
  c.date = {0x3039, 0x5A0, 0xBB7};
  c.boxWidth = 120;
  c.boxHeight = 90;
  c.sourceWidth = 4000;
  c.sourceHeight = 3000;
  c.formatName = "Sun Raster";
  std::string text = FormatCacheComment(c);
  EXPECT_EQ(text, "2 deadbeef 3039 5a0 bb7 78 5a fa0 bb8 Sun Raster");
  CacheComment back;
  ASSERT_TRUE(ParseCacheComment(text, back));
  EXPECT_EQ(back.compression, 2);
  EXPECT_EQ(back.sourceSize, 0xDEADBEEFu);
  EXPECT_EQ(back.date.days, 0x3039);
  EXPECT_EQ(back.date.minutes, 0x5A0);
  EXPECT_EQ(back.date.ticks, 0xBB7);
  EXPECT_EQ(back.boxWidth, 120u);
  EXPECT_EQ(back.boxHeight, 90u);
  EXPECT_EQ(back.sourceWidth, 4000u);
  EXPECT_EQ(back.sourceHeight, 3000u);
  EXPECT_EQ(back.formatName, "Sun Raster");

  c.formatName = "";
  EXPECT_EQ(FormatCacheComment(c).substr(FormatCacheComment(c).rfind(' ') + 1), "Unknown");
  c.formatName = "bad\nname";
  ASSERT_TRUE(ParseCacheComment(FormatCacheComment(c), back));
  EXPECT_EQ(back.formatName, "bad?name");
}

TEST(CacheComments, MalformedCommentsAreRefused) {
  CacheComment c;
  for (const char* bad : {"", "0", "0 1 2 3 4 5 6 7 8", "0 1 2 3 4 5 6 7 8 ", "x 1 2 3 4 5 6 7 8 JPEG",
                          "0 1 2 3 4 5 6 7 g JPEG", "0 123456789 2 3 4 5 6 7 8 JPEG", "0 1 2 3 4 5 6 7 JPEG",
                          "99999999999 1 2 3 4 5 6 7 8 JPEG", "0,1 2 3 4 5 6 7 8 9 JPEG"}) {
    EXPECT_FALSE(ParseCacheComment(bad, c)) << '"' << bad << '"';
  }
  EXPECT_FALSE(ParseCacheComment(std::string(2000, '1'), c));
  EXPECT_TRUE(ParseCacheComment("3 1 2 3 4 5 6 7 8 JPEG", c));
  EXPECT_EQ(c.compression, 3);
}

TEST_F(CacheTest, CacheFileMirrorsTheCanonicalPath) {
  std::string expected = Canonical(root_.substr(0, root_.rfind('/'))) + "/cache" + Canonical(source_);
  EXPECT_EQ(CacheFile(), expected);
  // The same file named through ".." and a symbolic link.
  ASSERT_EQ(::mkdir(dir_.file("src/sub").c_str(), 0755), 0);
  EXPECT_EQ(CacheFilePath(cache_.root, dir_.file("src/sub/../photo.jpg")), expected);
  ASSERT_EQ(::symlink(source_.c_str(), dir_.file("link.jpg").c_str()), 0);
  EXPECT_EQ(CacheFilePath(cache_.root, dir_.file("link.jpg")), expected);
  // No source, no cache file; and never a root that would put cache files over sources.
  EXPECT_EQ(CacheFilePath(cache_.root, dir_.file("src/missing.jpg")), "");
  EXPECT_EQ(CacheFilePath("/", source_), "");
  EXPECT_EQ(CacheFilePath(dir_.file("src") + "/../../../../../../../..", source_), "");
  EXPECT_EQ(CacheFilePath("", source_), "");
}

TEST_F(CacheTest, OddSourceNamesStayInsideTheRoot) {
  std::string rootCanon = Canonical(dir_.path()) + "/cache/";
  for (const std::string& name : {std::string("a b.jpg"), std::string("x:y.jpg"), std::string("new\nline.jpg"),
                                  std::string("..jpg"), std::string("%s%n.jpg"), std::string("back\\slash.jpg"),
                                  std::string("\xc3\xa9t\xc3\xa9.jpg"), std::string("-rf")}) {
    std::string src = dir_.file("src/" + name);
    ASSERT_TRUE(WriteFile(src, std::string("data")));
    std::string file = CacheFilePath(cache_.root, src);
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_EQ(file.compare(0, rootCanon.size(), rootCanon), 0) << file;
    EXPECT_EQ(file.find("/../"), std::string::npos) << file;
    ChunkyPtr t = Thumb();
    DateStamp d;
    ASSERT_TRUE(FileDateStamp(src, d));
    ASSERT_TRUE(StoreImage(cache_, src, t.get(), 0, 4, d, 120, 90, 1, 1, "JPEG")) << name;
    EXPECT_TRUE(Exists(file));
    CacheEntryPtr e(LoadImage(cache_, src, 4, d, 120, 90));
    EXPECT_NE(e, nullptr) << name;
  }
  // The source itself is never touched.
  EXPECT_EQ(ReadFile(dir_.file("src/-rf")).size(), 4u);
}

TEST_F(CacheTest, StoredThumbnailComesBackWithItsFacts) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  EXPECT_EQ(testcodec::gLastQuality.load(), 80);
  std::string comment;
  ASSERT_TRUE(ReadCacheComment(cache_.root, CacheFile(), comment));
  char expected[128];
  std::snprintf(expected, sizeof expected, "0 4d2 %x %x %x 78 5a 280 1e0 JPEG", static_cast<unsigned>(date_.days),
                static_cast<unsigned>(date_.minutes), static_cast<unsigned>(date_.ticks));
  EXPECT_EQ(comment, expected);

  CacheEntryPtr e = Load();
  ASSERT_NE(e, nullptr);
  ASSERT_NE(e->image, nullptr);
  EXPECT_EQ(e->image->format, image::RGB24);
  ASSERT_EQ(e->image->width, 12);
  ASSERT_EQ(e->image->height, 9);
  EXPECT_EQ(std::memcmp(e->image->pixels, t->pixels, 12 * 9 * 3), 0);
  EXPECT_EQ(e->sourceWidth, 640);
  EXPECT_EQ(e->sourceHeight, 480);
  EXPECT_EQ(e->formatName, "JPEG");
  EXPECT_EQ(e->sourceSize, 1234u);
}

TEST(CacheCompression, CompressionQualities) {
  EXPECT_EQ(CompressionQuality(0), 80);
  EXPECT_EQ(CompressionQuality(1), 60);
  EXPECT_EQ(CompressionQuality(2), 40);
  EXPECT_EQ(CompressionQuality(3), -1);
}

TEST_F(CacheTest, CompressionTypesAndTheirQualities) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get(), 1));
  EXPECT_EQ(testcodec::gLastQuality.load(), 60);
  EXPECT_NE(Load(), nullptr);  // the compression digit is not part of the match
  ASSERT_TRUE(Store(t.get(), 2));
  EXPECT_EQ(testcodec::gLastQuality.load(), 40);
  EXPECT_NE(Load(), nullptr);

  testcodec::gLastQuality = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(Store(t.get(), 3));
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "[Cache]: StoreImage: compression type not implemented: 0x3\n");
  EXPECT_EQ(testcodec::gLastQuality.load(), -1);
  EXPECT_NE(Load(), nullptr);  // the earlier entry is untouched
}

TEST_F(CacheTest, TouchingTheSourceMakesAMiss) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  ASSERT_NE(Load(), nullptr);
  SetMtime(source_, 1600000000, 540000000);  // two ticks later
  DateStamp touched;
  ASSERT_TRUE(FileDateStamp(source_, touched));
  EXPECT_NE(touched.ticks, date_.ticks);
  date_ = touched;
  EXPECT_EQ(Load(), nullptr);
  // The next scan replaces the entry.
  ASSERT_TRUE(Store(t.get()));
  EXPECT_NE(Load(), nullptr);
}

TEST_F(CacheTest, ChangedSizeOrBoxMakesAMiss) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get(), 0, 120, 90));
  EXPECT_NE(Load(1234, 120, 90), nullptr);
  EXPECT_EQ(Load(1235, 120, 90), nullptr);
  EXPECT_EQ(Load(1234, 121, 90), nullptr);
  EXPECT_EQ(Load(1234, 120, 91), nullptr);
  EXPECT_EQ(Load(1234, 120, 9), nullptr);  // a prefix of the stored height "5a"
  ASSERT_TRUE(Store(t.get(), 0, 120, 0x5));
  EXPECT_EQ(Load(1234, 120, 0x5a), nullptr);
}

TEST_F(CacheTest, HeightThatIsAPrefixOfTheStoredOneIsAMiss) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get(), 0, 120, 0x5a0));
  EXPECT_EQ(Load(1234, 120, 0x5a), nullptr);
  EXPECT_NE(Load(1234, 120, 0x5a0), nullptr);
}

TEST_F(CacheTest, UnknownCompressionInTheCommentIsReportedAndMissed) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  std::string comment;
  ASSERT_TRUE(ReadCacheComment(cache_.root, CacheFile(), comment));
  comment[0] = '3';
  ASSERT_TRUE(WriteCacheComment(cache_.root, CacheFile(), comment));
  ::testing::internal::CaptureStdout();
  CacheEntryPtr e = Load();
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(out, "[Cache]: LoadImage: compression type not implemented: 0x3\n");
}

TEST_F(CacheTest, BrokenCommentsAndFilesAreMisses) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  std::string file = CacheFile();
  std::string good;
  ASSERT_TRUE(ReadCacheComment(cache_.root, file, good));
  // Fields 2 to 7 right but the rest missing.
  ASSERT_TRUE(WriteCacheComment(cache_.root, file, good.substr(0, good.find(" 280"))));
  EXPECT_EQ(Load(), nullptr);
  ASSERT_TRUE(WriteCacheComment(cache_.root, file, good));
  ASSERT_NE(Load(), nullptr);
  // An undecodable cache file.
  ASSERT_TRUE(WriteFile(file, std::string("VLRAW 12 9\nshort")));
  ASSERT_TRUE(WriteCacheComment(cache_.root, file, good));
  EXPECT_EQ(Load(), nullptr);
  // No comment at all.
  ASSERT_TRUE(WriteFile(file, std::string("x")));
  ::removexattr(file.c_str(), "user.xdg.comment");
  EXPECT_EQ(Load(), nullptr);
}

TEST_F(CacheTest, AlphaBelowTheThresholdStoresNothing) {
  for (uint32_t format : {image::ARGB32, image::RGBA32}) {
    ChunkyPtr t = Thumb(format);
    int alpha = format == image::ARGB32 ? 0 : 3;
    for (int i = 0; i < 12 * 9; ++i) t->pixels[i * 4 + alpha] = 252;
    ASSERT_TRUE(Store(t.get())) << format;
    ASSERT_TRUE(ClearCache(cache_.root));
    t->pixels[(12 * 9 - 1) * 4 + alpha] = 251;  // one pixel at the threshold
    EXPECT_FALSE(Store(t.get())) << format;
    EXPECT_FALSE(Exists(CacheFile())) << format;
  }
}

TEST_F(CacheTest, FailedSaveLeavesNoFile) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  EXPECT_TRUE(Strays(CacheFile()).empty());
  testcodec::gFailSave = true;
  EXPECT_FALSE(Store(t.get()));
  EXPECT_FALSE(Exists(CacheFile()));
  EXPECT_TRUE(Strays(CacheFile()).empty());
}

TEST_F(CacheTest, CommentFailureDeletesTheFile) {
  ChunkyPtr t = Thumb();
  testing::ForceSideFileComments(true);
  // The side-file tree cannot be made: a plain file stands where it would go.
  ASSERT_TRUE(WriteFile(root_ + ".comments", std::string("in the way")));
  EXPECT_FALSE(Store(t.get()));
  EXPECT_FALSE(Exists(CacheFile()));
  EXPECT_TRUE(Strays(CacheFile()).empty());
}

TEST_F(CacheTest, SideFileFallbackKeepsTheSameRule) {
  testing::ForceSideFileComments(true);
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  std::string file = CacheFile();
  std::string side = CacheSideFilePath(cache_.root, file);
  ASSERT_FALSE(side.empty());
  EXPECT_EQ(side.compare(0, root_.size() + 10, root_ + ".comments/"), 0) << side;
  EXPECT_TRUE(Exists(side));
  EXPECT_TRUE(Strays(file).empty());
  char buf[8];
  EXPECT_LT(::getxattr(file.c_str(), "user.xdg.comment", buf, sizeof buf), 0);
  EXPECT_NE(Load(), nullptr);
  date_.minutes += 1;
  EXPECT_EQ(Load(), nullptr);
  date_.minutes -= 1;
  // A restore through the attribute removes the side file, and both paths read alike.
  testing::ForceSideFileComments(false);
  EXPECT_NE(Load(), nullptr);  // no attribute yet: the side file answers
  ASSERT_TRUE(Store(t.get()));
  EXPECT_FALSE(Exists(side));
  EXPECT_NE(Load(), nullptr);
}

TEST_F(CacheTest, AttributeHoldsTheComment) {
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  char buf[256];
  ssize_t n = ::getxattr(CacheFile().c_str(), "user.xdg.comment", buf, sizeof buf);
  if (n < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP)) GTEST_SKIP() << "no user attributes on this file system";
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)).substr(0, 6), "0 4d2 ");
  EXPECT_FALSE(Exists(root_ + ".comments"));
}

TEST_F(CacheTest, DisabledVolumeStoresNothingButExistingEntriesAreUsed) {
  std::string device = DeviceNameOfPath(source_);
  ASSERT_FALSE(device.empty());
  ChunkyPtr t = Thumb();
  ASSERT_TRUE(Store(t.get()));
  std::string upper = device;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  SetDisabledVolumes(cache_, {"ram", upper});
  EXPECT_TRUE(OnDisabledVolume(cache_, source_));
  EXPECT_NE(Load(), nullptr);  // the existing file is still used

  std::string other = dir_.file("src/other.jpg");
  ASSERT_TRUE(WriteFile(other, std::string("o")));
  EXPECT_FALSE(StoreImage(cache_, other, t.get(), 0, 1, date_, 120, 90, 1, 1, "JPEG"));
  EXPECT_FALSE(Exists(CacheFilePath(cache_.root, other)));

  SetDisabledVolumes(cache_, {"ram", "cd0"});
  EXPECT_FALSE(OnDisabledVolume(cache_, source_));
  EXPECT_TRUE(StoreImage(cache_, other, t.get(), 0, 1, date_, 120, 90, 1, 1, "JPEG"));
}

TEST(CacheMounts, DeviceOfTheMountHoldingAFile) {
  const std::string info =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "23 22 0:21 / /tmp rw shared:2 - tmpfs tmpfs rw\n"
      "24 22 11:0 / /media/CD\\040Disc ro - iso9660 /dev/sr0 ro\n"
      "25 22 8:17 / /media/cd rw - vfat /dev/sdb1 rw\n"
      "garbage line\n"
      "26 22 8:33 / /data rw master:3 unbindable - xfs /dev/mapper/vg-data rw\n";
  EXPECT_EQ(MountDeviceName(info, makedev(11, 0), "/anything"), "sr0");
  EXPECT_EQ(MountDeviceName(info, makedev(8, 33), "/"), "vg-data");
  // Unknown device numbers fall back to the longest mount point holding the path.
  EXPECT_EQ(MountDeviceName(info, makedev(99, 9), "/media/CD Disc/a.jpg"), "sr0");
  EXPECT_EQ(MountDeviceName(info, makedev(99, 9), "/media/cdrom/a.jpg"), "sda1");
  EXPECT_EQ(MountDeviceName(info, makedev(99, 9), "/media/cd/a.jpg"), "sdb1");
  EXPECT_EQ(MountDeviceName(info, makedev(99, 9), "/tmp/x"), "tmpfs");
  EXPECT_EQ(MountDeviceName("", makedev(8, 1), "/x"), "");

  CacheContext cache;
  SetDisabledVolumes(cache, {"CD0", ""});
  EXPECT_EQ(cache.disabledVolumes.size(), 1u);
}

TEST_F(CacheTest, RemoveDeadKeepsTheLiving) {
  ChunkyPtr t = Thumb();
  std::string dead = dir_.file("src/dead.jpg");
  ASSERT_TRUE(WriteFile(dead, std::string("d")));
  ASSERT_TRUE(Store(t.get()));
  ASSERT_TRUE(StoreImage(cache_, dead, t.get(), 0, 1, date_, 120, 90, 1, 1, "JPEG"));
  testing::ForceSideFileComments(true);
  std::string deadSide = dir_.file("src/dead-side.jpg");
  ASSERT_TRUE(WriteFile(deadSide, std::string("d")));
  ASSERT_TRUE(StoreImage(cache_, deadSide, t.get(), 0, 1, date_, 120, 90, 1, 1, "JPEG"));
  testing::ForceSideFileComments(false);
  std::string deadFile = CacheFilePath(cache_.root, dead);
  std::string deadSideFile = CacheFilePath(cache_.root, deadSide);
  std::string deadSideComment = CacheSideFilePath(cache_.root, deadSideFile);
  ASSERT_TRUE(Exists(deadSideComment));
  ASSERT_EQ(::unlink(dead.c_str()), 0);
  ASSERT_EQ(::unlink(deadSide.c_str()), 0);
  // An orphaned side file, whose cache file has gone.
  std::string orphan = CacheSideFilePath(cache_.root, CacheFile() + ".gone");
  ASSERT_TRUE(WriteFile(orphan, std::string("0 1 2 3 4 5 6 7 8 JPEG")));

  RemoveDead(cache_.root);
  EXPECT_FALSE(Exists(deadFile));
  EXPECT_FALSE(Exists(deadSideFile));
  EXPECT_FALSE(Exists(deadSideComment));
  EXPECT_FALSE(Exists(orphan));
  EXPECT_TRUE(Exists(CacheFile()));
  EXPECT_NE(Load(), nullptr);
}

TEST_F(CacheTest, SizeAndClear) {
  EXPECT_EQ(CacheSize(cache_.root), 0u);
  ASSERT_TRUE(vl::platform::MakeDirectories(root_ + "/a/b"));
  ASSERT_TRUE(WriteFile(root_ + "/a/b/one", std::vector<uint8_t>(1000)));
  ASSERT_TRUE(WriteFile(root_ + "/two", std::vector<uint8_t>(24)));
  ASSERT_EQ(::symlink(source_.c_str(), (root_ + "/link").c_str()), 0);  // not counted
  EXPECT_EQ(CacheSize(cache_.root), 1024u);
  EXPECT_FALSE(ClearCache("/"));
  EXPECT_FALSE(ClearCache(""));
  ASSERT_TRUE(ClearCache(cache_.root));
  EXPECT_FALSE(Exists(root_));
  EXPECT_TRUE(Exists(source_));  // the link's target survives
  EXPECT_EQ(CacheSize(cache_.root), 0u);
  // Storing again makes the directories anew.
  ChunkyPtr t = Thumb();
  EXPECT_TRUE(Store(t.get()));
}

}  // namespace
}  // namespace vl::thumbs
