// Directory reading shared by the batch tools: entries in the order the file system
// returns them, and what kind of thing each entry is.
#pragma once

#include <dirent.h>

#include <string>
#include <string_view>

namespace vl::tools {

// Reads the names of one directory ("." and ".." left out); closes it when it goes.
class DirectoryReader {
 public:
  explicit DirectoryReader(const std::string& path);
  ~DirectoryReader();
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;

  // False when the path could not be opened as a directory.
  bool ok() const { return dir_ != nullptr; }
  // The next name; false at the end.
  bool Next(std::string& name);

 private:
  DIR* dir_ = nullptr;
};

// A real directory (never a link to one), a file (a regular file or a link to one), or
// anything else (a link to a directory, a dangling link, a device, a pipe, ...).
enum class EntryKind { kDirectory, kFile, kOther };
EntryKind KindOf(const std::string& path);

// True when name ends with suffix, compared without regard to case.
bool EndsWithNoCase(std::string_view name, std::string_view suffix);

}  // namespace vl::tools
