// Parts of path and file names.
#pragma once

#include <string>

namespace vl::formats {

// The path up to, not including, its last component.
std::string DirPart(const char* path);
// The name cut at its last "." followed by "." and the suffix; unchanged without a ".".
std::string ReplaceSuffix(const char* name, const char* suffix);

}  // namespace vl::formats
