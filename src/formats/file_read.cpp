#include "formats/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/paths.h"

namespace vl::formats {

FILE* OpenRegularFile(const char* path) {
  if (!path || !*path) return nullptr;
  std::string p = platform::ResolvePath(path);
  int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes) {
  out.clear();
  FILE* f = OpenRegularFile(path);
  if (!f) return false;
  struct stat st;
  bool ok = ::fstat(fileno(f), &st) == 0 && st.st_size >= 0 && static_cast<uint64_t>(st.st_size) <= maxBytes;
  if (ok) {
    try {
      out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (ok && !out.empty()) ok = std::fread(out.data(), 1, out.size(), f) == out.size();
  std::fclose(f);
  if (!ok) out = std::vector<uint8_t>();
  return ok;
}

bool ReadFileStart(const char* path, uint8_t* buffer, size_t count, size_t& got) {
  got = 0;
  FILE* f = OpenRegularFile(path);
  if (!f) return false;
  got = std::fread(buffer, 1, count, f);
  std::fclose(f);
  return true;
}

}  // namespace vl::formats
