#include "formats/file_tree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/paths.h"

namespace vl::formats {

namespace {

bool DeleteResolvedTree(const std::string& dir, const platform::StopFlag& stop) {
  if (stop.Requested()) return false;
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(dir.c_str()) == 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool ok = true;
  std::vector<std::string> children;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    try {
      children.push_back(platform::JoinPath(dir, e->d_name));
    } catch (const std::bad_alloc&) {
      std::printf("Not enough memory for path(%d bytes)\n", static_cast<int>(dir.size() + std::strlen(e->d_name) + 2));
      ok = false;
    }
  }
  ::closedir(d);
  for (const std::string& c : children) {
    if (stop.Requested()) return false;
    struct stat cst;
    if (::lstat(c.c_str(), &cst) != 0) {
      ok = false;
      continue;
    }
    if (S_ISDIR(cst.st_mode))
      ok = DeleteResolvedTree(c, stop) && ok;
    else if (::unlink(c.c_str()) != 0)
      ok = false;
  }
  if (::rmdir(dir.c_str()) != 0) ok = false;
  return ok;
}

}  // namespace

bool DeleteTree(const char* path, const platform::StopFlag& stop) {
  if (!path || !*path) return false;
  return DeleteResolvedTree(platform::ResolvePath(path), stop);
}

}  // namespace vl::formats
