// The icon reader: a PNG's size and its default tool and tool-type text chunks, then the
// tool-type lookups on what it found. The reader takes a path, so the input goes into an
// in-memory file named through /proc/self/fd.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "fuzz_util.h"
#include "platform/icon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("icon", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return 0;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  vl::platform::DiskObject obj;
  if (!vl::platform::GetDiskObject("/proc/self/fd/" + std::to_string(fd), obj)) return 0;
  std::string value;
  for (const std::string& t : obj.toolTypes) {
    std::string name = t.substr(0, t.find('='));
    vl::fuzz::Require(vl::platform::FindToolType(obj.toolTypes, name, &value), "every tool type is found by its name");
  }
  (void)vl::platform::FindToolType(obj.toolTypes, "FILETYPE", &value);
  return 0;
}
