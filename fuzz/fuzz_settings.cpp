// The settings file: loading a file of any content, and the record decoder, whose output
// must encode to a record that decodes to the same fields.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "fuzz_util.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("settings", MFD_CLOEXEC);
  if (fd >= 0 && ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0) {
    bool written = true;
    for (size_t done = 0; done < size && written;) {
      ssize_t n = write(fd, data + done, size - done);
      written = n > 0;
      if (written) done += static_cast<size_t>(n);
    }
    vl::settings::Settings loaded;
    if (written && vl::settings::LoadSettingsFile("/proc/self/fd/" + std::to_string(fd), loaded))
      vl::fuzz::Require(loaded.version == vl::settings::kRecordVersion, "a loaded record is version 5");
  }
  vl::settings::Record record{};
  std::copy_n(data, std::min(size, record.size()), record.begin());
  vl::settings::Settings decoded = vl::settings::DecodeSettings(record);
  vl::fuzz::Require(decoded.cachePath.size() < vl::settings::kCachePathBytes, "the cache path fits its slot");
  vl::fuzz::Require(decoded.disabledVolumes.size() <= vl::settings::kVolumeSlots, "at most 64 volumes");
  for (const std::string& v : decoded.disabledVolumes)
    vl::fuzz::Require(!v.empty() && v.size() < vl::settings::kVolumeSlotBytes, "volume names fit their slots");
  vl::settings::Record encoded = vl::settings::EncodeSettings(decoded);
  vl::fuzz::Require(vl::settings::EncodeSettings(vl::settings::DecodeSettings(encoded)) == encoded,
                    "decoding and encoding a record is stable");
  return 0;
}
