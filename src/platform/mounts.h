// The mount table of this process, from /proc/self/mountinfo.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace vl::platform {

// One line of mountinfo, decoded.
struct MountRecord {
  dev_t device = 0;        // the major:minor field, when hasDevice
  bool hasDevice = false;  // false when that field is malformed
  std::string mountPoint;  // absolute; octal escapes (\040 ...) decoded
  std::string fsType;
  std::string source;  // the mount's source ("/dev/sda1", "tmpfs", ...)
};

// Parses mountinfo text: "id parent major:minor root mountpoint options [optional...] -
// fstype source superoptions", fields split at spaces and tabs. The kernel escapes space,
// tab, newline and backslash as \ooo; escapes of 1 to 255 are decoded, anything else stays
// literal. Lines without the separator, the type or the source, or with a mount point that
// is not absolute, are skipped.
std::vector<MountRecord> ParseMountInfo(std::string_view text);

// The text of /proc/self/mountinfo; empty when it cannot be read or is implausibly large.
std::string ReadMountInfo();

}  // namespace vl::platform
