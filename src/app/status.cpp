#include "app/status.h"

#include <cstdio>

namespace vl::app {

StatusTexts MakeStatusTexts(const image::Texture* current, const std::string& currentPath, bool loadFailed,
                            float loadTime) {
  StatusTexts s;
  char buf[64];
  const image::ChunkyImage* c = current ? current->chunky : nullptr;
  if (c) {
    s.title = currentPath + " (" + std::to_string(c->width) + "x" + std::to_string(c->height) + ")";
  } else {
    s.title = loadFailed ? "Vistaloom: Failed to load image" : "Vistaloom";
  }
  s.width = std::to_string(c ? c->width : 0);
  s.height = std::to_string(c ? c->height : 0);
  s.format = c ? current->formatName : std::string();
  std::snprintf(buf, sizeof buf, "%.2fs", c ? static_cast<double>(loadTime) : 0.0);
  s.loadTime = buf;
  return s;
}

}  // namespace vl::app
