#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vl::platform {

SafeFile::SafeFile(const std::string& target) : target_(target) {
  if (target.empty()) return;
  std::string tmpl = target + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) {
    error_ = errno;
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
  }
}

SafeFile::~SafeFile() {
  if (!done_) Abandon();
}

void SafeFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) ::unlink(temp_.c_str());
  done_ = true;
}

bool SafeFile::Commit() {
  if (!file_ || done_) return false;
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
