#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "browser/dir_entry.h"
#include "test_support.h"

namespace vl::browser {
namespace {

DirEntry File(const std::string& name, uint32_t size, int days = 100, const char* type = nullptr) {
  DirEntry e;
  e.name = name;
  e.size = size;
  e.date.days = days;
  if (type) e.typeName = type;
  return e;
}

DirEntry Dir(const std::string& name, int days = 100) {
  DirEntry e;
  e.name = name;
  e.isDirectory = 1;
  e.date.days = days;
  return e;
}

TEST(CompareColumn, DirectoryIsGreaterInEveryColumnAndDirection) {
  DirEntry d = Dir("a"), f = File("z", 5);
  for (int col = kColumnName; col <= kColumnType; ++col) {
    for (bool rev : {false, true}) {
      EXPECT_GT(CompareColumn(col, d, f, rev), 0) << col << rev;
      EXPECT_LT(CompareColumn(col, f, d, rev), 0) << col << rev;
    }
  }
}

TEST(CompareColumn, NamesFoldAsciiCaseAndReverse) {
  DirEntry a = File("apple", 1), b = File("Banana", 1);
  EXPECT_LT(CompareColumn(kColumnName, a, b, false), 0);
  EXPECT_GT(CompareColumn(kColumnName, a, b, true), 0);
  EXPECT_EQ(CompareColumn(kColumnName, File("ABC", 1), File("abc", 2), false), 0);
  // Only ASCII letters fold: bytes above 127 compare as they are.
  EXPECT_NE(CompareColumn(kColumnName, File("\xC3\x84", 1), File("\xC3\xA4", 1), false), 0);
  EXPECT_LT(CompareColumn(kColumnName, Dir("a"), Dir("B"), false), 0);
  EXPECT_GT(CompareColumn(kColumnName, Dir("a"), Dir("B"), true), 0);
}

TEST(CompareColumn, SizeColumnKeepsDirectoriesInOneOrderWhateverTheDirection) {
  DirEntry a = Dir("alpha"), b = Dir("Beta");
  EXPECT_GT(CompareColumn(kColumnSize, a, b, false), 0);
  EXPECT_GT(CompareColumn(kColumnSize, a, b, true), 0);
  DirEntry small = File("s", 10), big = File("b", 3000);
  EXPECT_LT(CompareColumn(kColumnSize, small, big, false), 0);
  EXPECT_GT(CompareColumn(kColumnSize, small, big, true), 0);
}

TEST(CompareColumn, SizesOfTwoGigabytesAndMoreAreLargest) {
  DirEntry huge = File("h", 0xC0000000u), one = File("o", 1);
  EXPECT_GT(CompareColumn(kColumnSize, huge, one, false), 0);
}

TEST(CompareColumn, DatesAndTypes) {
  DirEntry older = File("x", 1, 100), newer = File("y", 1, 101);
  EXPECT_LT(CompareColumn(kColumnDate, older, newer, false), 0);
  EXPECT_GT(CompareColumn(kColumnDate, older, newer, true), 0);
  DirEntry sameDayLater = File("z", 1, 100);
  sameDayLater.date.ticks = 1;
  EXPECT_LT(CompareColumn(kColumnDate, older, sameDayLater, false), 0);
  // Directories in the Type column go by date.
  EXPECT_LT(CompareColumn(kColumnType, Dir("b", 5), Dir("a", 6), false), 0);
  EXPECT_GT(CompareColumn(kColumnType, Dir("b", 5), Dir("a", 6), true), 0);
  DirEntry png = File("1", 1, 1, "PNG"), jpeg = File("2", 1, 1, "jpeg"), unknown = File("3", 1, 1);
  EXPECT_GT(CompareColumn(kColumnType, png, jpeg, false), 0);
  EXPECT_EQ(CompareColumn(kColumnType, png, unknown, false), 0);
  EXPECT_EQ(CompareColumn(kColumnType, unknown, jpeg, true), 0);
}

TEST(CompareEntries, SecondaryColumnBreaksTies) {
  DirEntry a = File("a.jpg", 50, 1, "JPEG"), b = File("b.jpg", 20, 1, "JPEG");
  EXPECT_EQ(CompareEntries(kColumnType, kNoColumn, a, b, false), 0);
  EXPECT_GT(CompareEntries(kColumnType, kColumnSize, a, b, false), 0);
  EXPECT_LT(CompareEntries(kColumnType, kColumnSize, a, b, true), 0);
  // The same column as secondary adds nothing.
  EXPECT_EQ(CompareEntries(kColumnType, kColumnType, a, b, false), 0);
}

class DateText : public ::testing::Test {
 protected:
  void SetUp() override { tzset(); }
  void TearDown() override { tzset(); }
  test::ScopedEnv tz_{"TZ", "UTC"};
  // Tuesday, 8 December 2026, 12:00 UTC.
  const std::time_t now_ = 1796731200;
  DateStamp At(std::time_t t) { return thumbs::DateStampFromTime(t, 0); }
};

TEST_F(DateText, RelativeDayNames) {
  tzset();
  EXPECT_EQ(FormatDateText(At(now_ - 3600), now_), "Today");
  EXPECT_EQ(FormatDateText(At(now_ - 12 * 3600), now_), "Today");  // midnight itself
  EXPECT_EQ(FormatDateText(At(now_ - 12 * 3600 - 1), now_), "Yesterday");
  EXPECT_EQ(FormatDateText(At(now_ - 3 * 86400), now_), "Saturday");
  EXPECT_EQ(FormatDateText(At(now_ - 6 * 86400), now_), "Wednesday");
}

TEST_F(DateText, OlderAndFutureDatesShowTheDateOnly) {
  tzset();
  EXPECT_EQ(FormatDateText(At(now_ - 7 * 86400), now_), "12/01/26");
  EXPECT_EQ(FormatDateText(At(now_ + 86400), now_), "12/09/26");
  EXPECT_EQ(FormatDateText(At(0), now_), "01/01/70");
}

TEST(DateStamps, RoundTripThroughSeconds) {
  std::time_t t = 1796731200 + 59;
  EXPECT_EQ(DateStampToTime(thumbs::DateStampFromTime(t, 0)), t);
}

TEST(CellTexts, SizeAndType) {
  EXPECT_EQ(SizeText(File("a", 3000000000u)), "3000000000");
  EXPECT_EQ(SizeText(Dir("d")), kDrawerText);
  EXPECT_EQ(TypeText(Dir("d")), "Directory");
  EXPECT_EQ(TypeText(File("a", 1)), "Unknown");
  EXPECT_EQ(TypeText(File("a", 1, 1, "PNG")), "PNG");
}

TEST(ExamineEntry, FilesDirectoriesAndLinks) {
  test::TempDir tmp;
  ASSERT_TRUE(test::WriteFile(tmp.file("f"), std::string(1234, 'x')));
  ASSERT_EQ(::mkdir(tmp.file("d").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("d", tmp.file("ld").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", tmp.file("dangling").c_str()), 0);
  DirEntry e;
  ASSERT_TRUE(ExamineEntry(tmp.file("f"), "f", e));
  EXPECT_EQ(e.size, 1234u);
  EXPECT_EQ(e.isDirectory, 0);
  ASSERT_TRUE(ExamineEntry(tmp.file("ld"), "ld", e));
  EXPECT_EQ(e.isDirectory, 1);
  EXPECT_EQ(e.size, 0u);
  ASSERT_TRUE(ExamineEntry(tmp.file("dangling"), "dangling", e));
  EXPECT_EQ(e.isDirectory, 0);
  EXPECT_FALSE(ExamineEntry(tmp.file("missing"), "missing", e));
}

}  // namespace
}  // namespace vl::browser
