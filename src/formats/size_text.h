// File sizes as text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::formats {

// The size as text: "%u bytes" up to 10239, then KB, MB, GB and TB with one truncated decimal.
void FormatFileSize(char* buffer, size_t bufferSize, uint64_t size);

}  // namespace vl::formats
