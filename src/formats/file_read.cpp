#include "formats/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

namespace {

// Reads exactly size bytes into out (read() may return fewer at a time, or be interrupted).
// False on an error or when the file ends early (it shrank since its size was taken).
bool ReadExactly(int fd, uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the file ended early
    done += static_cast<size_t>(n);
  }
  return true;
}

template <class Buffer>
bool ReadWhole(const char* path, Buffer& out, uint64_t maxBytes) {
  out.clear();
  FILE* f = OpenRegularFile(path);
  if (!f) return false;
  const int fd = ::fileno(f);
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && st.st_size >= 0 && static_cast<uint64_t>(st.st_size) <= maxBytes;
  if (ok) {
    try {
      out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  // Nothing has gone through the stream's buffer yet, so reading the descriptor directly
  // starts at the first byte.
  if (ok) ok = ReadExactly(fd, out.data(), out.size());
  std::fclose(f);
  if (!ok) Buffer().swap(out);
  return ok;
}

}  // namespace

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes) {
  return ReadWhole(path, out, maxBytes);
}

bool ReadWholeFile(const char* path, FileBytes& out, uint64_t maxBytes) {
  return ReadWhole(path, out, maxBytes);
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
