// The window title and the four status texts (width, height, format, load time).
#pragma once

#include <string>

#include "image/chunky.h"

namespace vl::app {

struct StatusTexts {
  std::string title;
  std::string width;
  std::string height;
  std::string format;
  std::string loadTime;
};

// With an image: "%s (%dx%d)" with the path; without: "Vistaloom: Failed to load image"
// when the last load failed, else "Vistaloom". Times as "%.2fs".
StatusTexts MakeStatusTexts(const image::Texture* current, const std::string& currentPath, bool loadFailed,
                            float loadTime);

}  // namespace vl::app
