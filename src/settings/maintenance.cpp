#include "settings/maintenance.h"

#include "thumbs/cache.h"

namespace vl::settings {
namespace {

// One decimal, truncated: 10239 bytes stay bytes, 10240 bytes are 10.0 KB.
std::string SizeText(uint64_t size) {
  char buf[64];
  auto part = [&](unsigned shift, const char* unit) {
    uint64_t mask = (uint64_t{1} << shift) - 1;
    std::snprintf(buf, sizeof buf, "%u.%u %s", static_cast<unsigned>(size >> shift),
                  static_cast<unsigned>(((size & mask) * 10) >> shift), unit);
  };
  if (size <= 10239) {
    std::snprintf(buf, sizeof buf, "%u bytes", static_cast<unsigned>(size));
  } else if (size <= 0xFFFFF) {
    part(10, "KB");
  } else if (size <= 0x3FFFFFFF) {
    part(20, "MB");
  } else if (size < (uint64_t{1} << 40)) {
    part(30, "GB");
  } else {
    part(40, "TB");
  }
  return buf;
}

}  // namespace

thumbs::CacheContext CacheContextFor(const Settings& settings) {
  thumbs::CacheContext cache;
  cache.root = settings.cachePath;
  thumbs::SetDisabledVolumes(cache, settings.disabledVolumes);
  return cache;
}

std::string MegabytesText(uint64_t bytes) {
  char buf[64];
  float mb = static_cast<float>(bytes) * (1.0f / 1048576.0f);
  std::snprintf(buf, sizeof buf, "%.3f Mbytes", static_cast<double>(mb));
  return buf;
}

int RunCacheMaintenance(const std::string& what, const Settings& settings, FILE* out) {
  const std::string& root = settings.cachePath;
  if (what == "size") {
    std::fprintf(out, "%s\n", SizeText(thumbs::CacheSize(root)).c_str());
    return 0;
  }
  if (what == "clear") {
    bool ok = thumbs::ClearCache(root);
    std::fprintf(out, "%s\n", MegabytesText(thumbs::CacheSize(root)).c_str());
    return ok ? 0 : 1;
  }
  if (what == "remove-dead") {
    thumbs::RemoveDead(root);
    std::fprintf(out, "%s\n", MegabytesText(thumbs::CacheSize(root)).c_str());
    return 0;
  }
  return 2;
}

}  // namespace vl::settings
