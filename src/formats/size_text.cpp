#include "formats/size_text.h"

#include <cstdio>

namespace vl::formats {

void FormatFileSize(char* buffer, size_t bufferSize, uint64_t size) {
  if (!buffer || bufferSize == 0) return;
  auto whole = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  if (size <= 10239) {
    std::snprintf(buffer, bufferSize, "%llu bytes", whole(size));
  } else if (size <= 0xFFFFF) {
    std::snprintf(buffer, bufferSize, "%llu.%llu KB", whole(size >> 10), whole(((size & 0x3FF) * 10) >> 10));
  } else if (size <= 0x3FFFFFFF) {
    std::snprintf(buffer, bufferSize, "%llu.%llu MB", whole(size >> 20), whole(((size & 0xFFFFF) * 10) >> 20));
  } else if (size < (uint64_t{1} << 40)) {
    std::snprintf(buffer, bufferSize, "%llu.%llu GB", whole(size >> 30), whole(((size & 0x3FFFFFFF) * 10) >> 30));
  } else {
    constexpr uint64_t kMask = (uint64_t{1} << 40) - 1;
    std::snprintf(buffer, bufferSize, "%llu.%llu TB", whole(size >> 40), whole(((size & kMask) * 10) >> 40));
  }
}

}  // namespace vl::formats
