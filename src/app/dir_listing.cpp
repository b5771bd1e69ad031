#include "app/dir_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/paths.h"

namespace vl::app {

bool DirectoryListing::IsDirectory(int index) const {
  return index >= 0 && index < EntryCount() && entries_[static_cast<size_t>(index)].directory;
}

std::string DirectoryListing::FullPath(int index) const {
  if (index < 0 || index >= EntryCount()) return {};
  std::string full = directory_;
  if (!platform::AddPart(full, entries_[static_cast<size_t>(index)].name, 1023)) return {};
  return full;
}

void DirectoryListing::Select(int index) {
  if (index < 0 || index >= EntryCount()) {
    selected_ = -1;
    return;
  }
  selected_ = index;
  if (!entries_[static_cast<size_t>(index)].directory && chosen_) {
    std::string full = FullPath(index);
    if (!full.empty()) chosen_(full);
  }
}

void DirectoryListing::Scan(const std::string& dir) {
  entries_.clear();
  selected_ = -1;
  directory_ = dir;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    Entry entry;
    entry.name = e->d_name;
    struct stat st;
    std::string full = platform::JoinPath(dir.empty() ? "." : dir, entry.name);
    entry.directory = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries_.push_back(std::move(entry));
  }
  ::closedir(d);
  auto lower = [](const std::string& s) {
    std::string l = s;
    for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return l;
  };
  std::sort(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) {
    if (a.directory != b.directory) return a.directory;
    std::string la = lower(a.name), lb = lower(b.name);
    if (la != lb) return la < lb;
    return a.name < b.name;
  });
}

void DirectoryListing::SetPath(const std::string& path) {
  Scan(path);
}

void DirectoryListing::CurrentFileChanged(const std::string& shownPath) {
  std::string path = platform::ResolvePath(shownPath);
  std::string dir(platform::PathPart(path));
  if (dir.empty() && !path.empty() && path[0] == '/') dir = "/";
  std::string name(platform::FilePart(path));
  Scan(dir);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name == name) selected_ = static_cast<int>(i);
}

}  // namespace vl::app
