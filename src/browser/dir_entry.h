// The file list's row record and the rules that order and show its rows.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "thumbs/cache.h"

namespace vl::browser {

using thumbs::DateStamp;

struct DirEntry {
  std::string name;   // the file name, no path
  uint32_t size = 0;  // bytes (files over 4 GiB show 0xFFFFFFFF); 0 for directories
  uint8_t isDirectory = 0;
  DateStamp date;                       // modification date
  std::optional<std::string> typeName;  // GetDataTypeName's name; empty until known
  uint32_t typeGroup = 0;               // "pict" marks a picture
};

// Fills name, size, isDirectory and date from the file at path (a symbolic link counts as
// what it points to; a dangling one as a file). False when the path cannot be examined.
bool ExamineEntry(const std::string& path, const std::string& name, DirEntry& entry);

enum DirColumn : int { kColumnName = 0, kColumnSize = 1, kColumnDate = 2, kColumnType = 3 };
inline constexpr int kNoColumn = -1;

// The comparison of two rows for one column: negative, zero or positive. reverse negates
// the result except where a directory meets a file and where two directories meet in
// the Size column.
int CompareColumn(int column, const DirEntry& x, const DirEntry& y, bool reverse);
// The column's comparison, and when it gives 0 and secondary is another column, the
// secondary column's (in the same direction).
int CompareEntries(int column, int secondary, const DirEntry& x, const DirEntry& y, bool reverse);

// Date column: "Today", "Yesterday", the weekday name within the last week, else the
// locale's date (date part only). now is the current time in seconds since 1970.
std::string FormatDateText(const DateStamp& date, std::time_t now);
// Seconds since 1970 of a date stamp.
std::time_t DateStampToTime(const DateStamp& date);

// The cell texts of a row. Size for a directory is kDrawerText (the widget draws a symbol
// there instead); Type is "Directory" for a directory and "Unknown" while not yet known.
inline constexpr const char* kDrawerText = "(dir)";
std::string SizeText(const DirEntry& entry);
std::string TypeText(const DirEntry& entry);

}  // namespace vl::browser
