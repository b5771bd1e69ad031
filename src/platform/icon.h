// Icons: PNG pictures whose default tool and tool types live in private text chunks
// (keywords "Vistaloom-DefaultTool" and "Vistaloom-ToolTypes", one tool type a line).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "image/chunky.h"

namespace vl::platform {

struct DiskObject {
  std::string defaultTool;
  std::vector<std::string> toolTypes;
  int width = 0;
  int height = 0;
};

inline constexpr const char* kIconToolTypesKey = "Vistaloom-ToolTypes";
inline constexpr const char* kIconDefaultToolKey = "Vistaloom-DefaultTool";

// Reads an icon's metadata (no pixels). False when the file is not a readable PNG.
bool GetDiskObject(const std::string& path, DiskObject& out);

// Writes an icon from an ARGB32 image, replacing path atomically. False on failure.
bool PutDiskObject(const std::string& path, const DiskObject& obj, const image::ChunkyImage* argb);

// Tool type lookup, case-insensitive on the name: "NAME" or "NAME=value". Returns true
// when present; value gets the text after '=' (empty when none).
bool FindToolType(const std::vector<std::string>& toolTypes, std::string_view name, std::string* value = nullptr);

}  // namespace vl::platform
