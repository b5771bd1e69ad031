#include "formats/path_parts.h"

#include <string_view>

#include "platform/paths.h"

namespace vl::formats {

std::string DirPart(const char* path) {
  if (!path) return std::string();
  std::string_view p(path);
  return std::string(p.substr(0, p.size() - platform::FilePart(p).size()));
}

std::string ReplaceSuffix(const char* name, const char* suffix) {
  if (!name) return std::string();
  std::string n(name);
  size_t dot = n.rfind('.');
  if (dot == std::string::npos) return n;
  return n.substr(0, dot) + "." + (suffix ? suffix : "");
}

}  // namespace vl::formats
