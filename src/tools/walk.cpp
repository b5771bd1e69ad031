#include "tools/walk.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstring>

namespace vl::tools {

DirectoryReader::DirectoryReader(const std::string& path) {
  if (!path.empty()) dir_ = ::opendir(path.c_str());
}

DirectoryReader::~DirectoryReader() {
  if (dir_) ::closedir(dir_);
}

bool DirectoryReader::Next(std::string& name) {
  if (!dir_) return false;
  while (const dirent* e = ::readdir(dir_)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    name = e->d_name;
    return true;
  }
  return false;
}

EntryKind KindOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return EntryKind::kOther;
  if (S_ISDIR(st.st_mode)) return EntryKind::kDirectory;
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0) return EntryKind::kOther;
  return S_ISREG(st.st_mode) ? EntryKind::kFile : EntryKind::kOther;
}

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (suffix.size() > name.size()) return false;
  return ::strncasecmp(name.data() + name.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

}  // namespace vl::tools
