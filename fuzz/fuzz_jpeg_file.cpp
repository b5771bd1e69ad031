// The built-in JPEG reader and the marker section reader on a whole file: sections, EXIF
// record, embedded thumbnail, and decoding as ARGB32 and RGB24 (from a file and from memory).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "formats/exif.h"
#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "fuzz_util.h"

namespace {

int MemoryFile() {
  static int fd = memfd_create("jpeg", MFD_CLOEXEC);
  return fd;
}

void CheckTexture(vl::image::Texture* raw, uint32_t format) {
  vl::image::TexturePtr t(raw);
  if (!t) return;
  vl::fuzz::Require(t->chunky && t->chunky->width > 0 && t->chunky->height > 0, "a read picture is not empty");
  vl::fuzz::Require(t->chunky->format == format, "the asked format");
  volatile uint32_t sink = vl::fuzz::TouchPixels(t->chunky);
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vl::fuzz::EnsurePool();
  vl::fuzz::PoolBalance balance;
  int fd = MemoryFile();
  if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return 0;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  {
    std::lock_guard<std::recursive_mutex> lock(vl::formats::ExifLock());
    if (vl::formats::ReadJpegFile(path.c_str())) {
      int count = vl::formats::SectionCount();
      vl::fuzz::Require(count >= 0 && count <= vl::formats::kMaxSections, "section count within the table");
      for (int marker : {vl::formats::M_EXIF, vl::formats::M_JFIF, vl::formats::M_COM, vl::formats::M_SOF0}) {
        const vl::formats::JpegSection* s = vl::formats::FindSection(marker);
        if (s) vl::fuzz::Require(s->marker == marker, "FindSection gives the marker asked for");
      }
    }
    vl::formats::DiscardData();
  }
  (void)vl::formats::ReadExifInfo(path.c_str());
  std::vector<uint8_t> thumb = vl::formats::ReadExifThumbnailData(path.c_str());
  vl::fuzz::Require(thumb.size() <= size, "the thumbnail lies inside the file");
  CheckTexture(vl::formats::ReadExifThumbnail(path.c_str()), vl::image::RGB24);
  CheckTexture(vl::formats::ReadJpeg(path.c_str()), vl::image::ARGB32);
  CheckTexture(vl::formats::ReadJpegForCache(path.c_str()), vl::image::RGB24);
  CheckTexture(vl::formats::ReadJpegMemoryForCache(data, size), vl::image::RGB24);
  return 0;
}
