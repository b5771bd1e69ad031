// The icon reader: a PNG's size and its default tool and tool-type text chunks, the
// tool-type lookups on what it found, and the icon with its pixels. The readers take a
// name, so the input goes into a file in a private temporary folder.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "formats/icon.h"
#include "fuzz_util.h"

namespace {

char g_dir[] = "/tmp/vl-fuzz-icon-XXXXXX";

void RemoveFolder() {
  unlink((std::string(g_dir) + "/picture.info").c_str());
  rmdir(g_dir);
}

const std::string& IconName() {
  static std::string name = [] {
    if (!mkdtemp(g_dir)) return std::string();
    std::atexit(RemoveFolder);
    return std::string(g_dir) + "/picture";
  }();
  return name;
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; done < size && ok;) {
    ssize_t n = write(fd, data + done, size - done);
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  close(fd);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vl::fuzz::EnsurePool();
  vl::fuzz::PoolBalance balance;
  const std::string& name = IconName();
  if (name.empty()) return 0;
  const std::string path = name + vl::formats::kIconSuffix;
  if (!WriteInput(path, data, size)) return 0;
  vl::formats::DiskObject obj;
  if (!vl::formats::GetDiskObject(path, obj)) return 0;
  std::string value;
  for (const std::string& t : obj.toolTypes) {
    std::string key = t.substr(0, t.find('='));
    vl::fuzz::Require(vl::formats::FindToolType(obj.toolTypes, key, &value), "every tool type is found by its name");
  }
  (void)vl::formats::FindToolType(obj.toolTypes, "FILETYPE", &value);
  vl::formats::DiskObjectPtr icon(vl::formats::GetDiskObject(name));
  if (icon) {
    vl::fuzz::Require(icon->image && icon->image->width == obj.width && icon->image->height == obj.height,
                      "the pixels have the header's size");
    volatile uint32_t sink = vl::fuzz::TouchPixels(icon->image.get());
    (void)sink;
  }
  return 0;
}
