// Makes file permission bits apply to the calling thread for a scope. Root passes every
// permission check, so a test of a read-only directory run as root switches its file-system
// user id to an unprivileged one (which drops the file capabilities of the thread) and back.
#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

namespace vl::test {

class UnprivilegedFiles {
 public:
  UnprivilegedFiles() {
    if (::geteuid() != 0) {
      active_ = true;  // the bits apply already
      return;
    }
    ::setfsuid(kNobody);
    // setfsuid answers with the id before the call; an invalid id only asks.
    dropped_ = ::setfsuid(static_cast<uid_t>(-1)) == static_cast<int>(kNobody);
    active_ = dropped_;
  }
  ~UnprivilegedFiles() {
    if (dropped_) ::setfsuid(0);
  }
  UnprivilegedFiles(const UnprivilegedFiles&) = delete;
  UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;

  // Permission bits are enforced on this thread.
  bool active() const { return active_; }

 private:
  static constexpr uid_t kNobody = 65534;
  bool active_ = false;
  bool dropped_ = false;
};

}  // namespace vl::test
