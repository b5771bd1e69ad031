// The built-in Sun Raster reader (24- and 32-bit files, both Texture kinds). The reader
// takes a path, so the input goes into an in-memory file named through /proc/self/fd.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "formats/sunraster.h"
#include "fuzz_util.h"

namespace {

int MemoryFile() {
  static int fd = memfd_create("sunraster", MFD_CLOEXEC);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vl::fuzz::EnsurePool();
  vl::fuzz::PoolBalance balance;
  int fd = MemoryFile();
  if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  for (bool forScan : {false, true}) {
    vl::image::TexturePtr t(forScan ? vl::formats::ReadSunRasterForScan(path.c_str())
                                    : vl::formats::ReadSunRaster(path.c_str()));
    if (!t) continue;
    vl::fuzz::Require(t->chunky && t->chunky->width > 0 && t->chunky->height > 0, "a read picture is not empty");
    vl::fuzz::Require(t->chunky->format == (forScan ? vl::image::RGB24 : vl::image::ARGB32), "the asked format");
    volatile uint32_t sink = vl::fuzz::TouchPixels(t->chunky);
    (void)sink;
  }
  return 0;
}
