#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace vl::platform {

// A growable byte buffer behind a stdio stream (fopencookie), with the seeks of a file:
// writers that go back to fill in a length (IFF) keep everything they wrote after it.
struct SafeFile::Memory {
  std::vector<char> bytes;
  size_t position = 0;

  static ssize_t Write(void* cookie, const char* data, size_t size) {
    Memory* m = static_cast<Memory*>(cookie);
    try {
      if (m->position + size > m->bytes.size()) m->bytes.resize(m->position + size);
    } catch (const std::bad_alloc&) {
      errno = ENOMEM;
      return -1;
    }
    std::memcpy(m->bytes.data() + m->position, data, size);
    m->position += size;
    return static_cast<ssize_t>(size);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    Memory* m = static_cast<Memory*>(cookie);
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<off64_t>(m->position)
                   : whence == SEEK_END ? static_cast<off64_t>(m->bytes.size())
                                        : -1;
    if (base < 0 || *offset < -base || *offset > (off64_t{1} << 40) - base) {
      errno = EINVAL;
      return -1;
    }
    m->position = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(m->position);
    return 0;
  }
  static int Close(void*) { return 0; }
};

SafeFile::SafeFile(const std::string& target, bool inPlaceFallback) : target_(target) {
  if (target.empty()) return;
  std::string tmpl = target + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) {
    // The directory takes no new names; an existing file may still be writable.
    const int saved = errno;
    if (!inPlaceFallback || (saved != EACCES && saved != EPERM) || !OpenInPlace()) {
      error_ = saved;
      errno = saved;
    }
    return;
  }
  temp_ = buf.data();
  // Keep the permissions of the file being replaced; new files get the usual 0666 & ~umask.
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    error_ = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    temp_.clear();
    return;
  }
  // Savers hand over a few kilobytes at a time; a larger buffer turns a big picture's
  // thousands of small writes into a few large ones. The default buffer stays without it.
  constexpr size_t kWriteBuffer = size_t{256} << 10;
  buffer_.reset(new (std::nothrow) char[kWriteBuffer]);
  if (buffer_ && std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBuffer) != 0) buffer_.reset();
}

SafeFile::~SafeFile() {
  if (!done_) Abandon();
}

bool SafeFile::OpenInPlace() {
  int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EACCES;
    return false;
  }
  std::unique_ptr<Memory> memory(new (std::nothrow) Memory());
  cookie_io_functions_t io{nullptr, &Memory::Write, &Memory::Seek, &Memory::Close};
  FILE* f = memory ? ::fopencookie(memory.get(), "w", io) : nullptr;
  if (!f) {
    ::close(fd);
    errno = ENOMEM;
    return false;
  }
  inPlaceFd_ = fd;
  memory_ = std::move(memory);
  file_ = f;
  return true;
}

void SafeFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) ::unlink(temp_.c_str());
  if (inPlaceFd_ >= 0) ::close(inPlaceFd_);  // the target was never touched
  inPlaceFd_ = -1;
  done_ = true;
}

bool SafeFile::CommitInPlace() {
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  const int fd = inPlaceFd_;
  inPlaceFd_ = -1;
  const std::vector<char>& bytes = memory_->bytes;
  const off_t size = static_cast<off_t>(bytes.size());
  struct stat st;
  ok = ok && ::fstat(fd, &st) == 0;
  // Reserve the new length before the first byte changes.
  if (ok && size > st.st_size) {
    int r = ::posix_fallocate(fd, st.st_size, size - st.st_size);
    if (r != 0) {
      // Whatever the failed reservation added goes again; no old byte was touched.
      const bool restored = ::ftruncate(fd, st.st_size) == 0;
      static_cast<void>(restored);
      errno = r;
      ok = false;
    }
  }
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  if (ok) ok = ::ftruncate(fd, size) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  const int saved = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    if (error_ == 0) error_ = saved ? saved : EIO;
    errno = error_;
  }
  memory_.reset();
  done_ = true;
  return ok;
}

bool SafeFile::Commit() {
  if (!file_ || done_) return false;
  if (inPlaceFd_ >= 0) return CommitInPlace();
  auto note = [this](bool ok) {
    if (!ok && error_ == 0) error_ = errno ? errno : EIO;
    return ok;
  };
  errno = 0;
  bool ok = note(std::fflush(file_) == 0 && !std::ferror(file_));
  if (ok) ok = note(::fsync(::fileno(file_)) == 0);
  ok = note(std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (ok) ok = note(::rename(temp_.c_str(), target_.c_str()) == 0);
  if (!ok) ::unlink(temp_.c_str());
  done_ = true;
  return ok;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int* error) {
  SafeFile f(path);
  auto fail = [error](int e) {
    if (error) *error = e ? e : EIO;
    return false;
  };
  if (!f.file()) return fail(path.empty() ? ENOENT : f.error());
  errno = 0;
  if (size && std::fwrite(data, 1, size, f.file()) != size) return fail(errno);
  if (!f.Commit()) return fail(f.error());
  return true;
}

}  // namespace vl::platform
