#include "browser/dir_entry.h"

#include <sys/stat.h>

#include <cstdio>

#include "browser/nocase.h"

namespace vl::browser {
namespace {

// Seconds from 1970-01-01 to 1978-01-01.
constexpr int64_t kEpoch1978 = 252460800;

int Sign(int64_t v) {
  return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int CompareDates(const DateStamp& a, const DateStamp& b) {
  if (a.days != b.days) return a.days < b.days ? -1 : 1;
  if (a.minutes != b.minutes) return a.minutes < b.minutes ? -1 : 1;
  if (a.ticks != b.ticks) return a.ticks < b.ticks ? -1 : 1;
  return 0;
}

// Days since 1970 of a local calendar date, for counting whole days between two dates.
int64_t LocalDayNumber(std::time_t t) {
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return 0;
  int64_t y = tm.tm_year + 1900;
  int64_t m = tm.tm_mon + 1;
  int64_t d = tm.tm_mday;
  // Days from civil (proleptic Gregorian).
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool ExamineEntry(const std::string& path, const std::string& name, DirEntry& entry) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return false;
  entry.name = name;
  entry.isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
  uint64_t size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  entry.size = entry.isDirectory ? 0 : (size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(size));
  entry.date = thumbs::DateStampFromTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return true;
}

int CompareColumn(int column, const DirEntry& x, const DirEntry& y, bool reverse) {
  if (x.isDirectory != y.isDirectory) return x.isDirectory ? 1 : -1;  // reverse ignored
  int r = 0;
  if (x.isDirectory) {
    switch (column) {
      case kColumnName: r = CompareNoCase(x.name, y.name); break;
      case kColumnSize: return CompareNoCase(y.name, x.name);  // reverse ignored
      case kColumnDate:
      case kColumnType: r = CompareDates(x.date, y.date); break;
      default: return 0;
    }
  } else {
    switch (column) {
      case kColumnName: r = CompareNoCase(x.name, y.name); break;
      // Sizes compare as unsigned numbers, so files of 2 GiB and more sort as the largest.
      case kColumnSize: r = Sign(static_cast<int64_t>(x.size) - static_cast<int64_t>(y.size)); break;
      case kColumnDate: r = CompareDates(x.date, y.date); break;
      case kColumnType: r = (x.typeName && y.typeName) ? CompareNoCase(*x.typeName, *y.typeName) : 0; break;
      default: return 0;
    }
  }
  return reverse ? -r : r;
}

int CompareEntries(int column, int secondary, const DirEntry& x, const DirEntry& y, bool reverse) {
  int r = CompareColumn(column, x, y, reverse);
  if (r == 0 && secondary != column && secondary >= kColumnName && secondary <= kColumnType)
    r = CompareColumn(secondary, x, y, reverse);
  return r;
}

std::time_t DateStampToTime(const DateStamp& d) {
  int64_t s = kEpoch1978 + int64_t{d.days} * 86400 + int64_t{d.minutes} * 60 + d.ticks / 50;
  return static_cast<std::time_t>(s);
}

std::string FormatDateText(const DateStamp& date, std::time_t now) {
  std::time_t t = DateStampToTime(date);
  int64_t diff = LocalDayNumber(now) - LocalDayNumber(t);
  if (diff == 0) return "Today";
  if (diff == 1) return "Yesterday";
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return "";
  char buf[64];
  size_t n = std::strftime(buf, sizeof buf, (diff > 1 && diff < 7) ? "%A" : "%x", &tm);
  return std::string(buf, n);
}

std::string SizeText(const DirEntry& entry) {
  if (entry.isDirectory) return kDrawerText;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(entry.size));
  return buf;
}

std::string TypeText(const DirEntry& entry) {
  if (entry.isDirectory) return "Directory";
  return entry.typeName ? *entry.typeName : "Unknown";
}

}  // namespace vl::browser
