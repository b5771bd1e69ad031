#include "settings/maintenance.h"

#include "formats/size_text.h"
#include "thumbs/cache.h"

namespace vl::settings {
namespace {

std::string SizeText(uint64_t size) {
  char buf[64];
  formats::FormatFileSize(buf, sizeof buf, size);
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
