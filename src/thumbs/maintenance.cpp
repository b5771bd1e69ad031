#include "thumbs/maintenance.h"

#include "formats/size_text.h"
#include "thumbs/cache.h"

namespace vl::thumbs {
namespace {

std::string SizeText(uint64_t size) {
  char buf[64];
  formats::FormatFileSize(buf, sizeof buf, size);
  return buf;
}

}  // namespace

std::string MegabytesText(uint64_t bytes) {
  char buf[64];
  float mb = static_cast<float>(bytes) * (1.0f / 1048576.0f);
  std::snprintf(buf, sizeof buf, "%.3f Mbytes", static_cast<double>(mb));
  return buf;
}

int RunCacheMaintenance(const std::string& what, const std::string& root, FILE* out) {
  if (what == "size") {
    std::fprintf(out, "%s\n", SizeText(CacheSize(root)).c_str());
    return 0;
  }
  if (what == "clear") {
    bool ok = ClearCache(root);
    std::fprintf(out, "%s\n", MegabytesText(CacheSize(root)).c_str());
    return ok ? 0 : 1;
  }
  if (what == "remove-dead") {
    RemoveDead(root);
    std::fprintf(out, "%s\n", MegabytesText(CacheSize(root)).c_str());
    return 0;
  }
  return 2;
}

}  // namespace vl::thumbs
