// Icons: PNG pictures whose default tool and tool types live in private text chunks
// (keywords "Vistaloom-DefaultTool" and "Vistaloom-ToolTypes", one tool type a line).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/chunky.h"

namespace vl::formats {

struct DiskObject {
  std::string defaultTool;
  std::vector<std::string> toolTypes;
  int width = 0;
  int height = 0;
  // The icon's picture (ARGB32); only records from GetDiskObject(name) carry it.
  std::shared_ptr<image::ChunkyImage> image;
};

inline constexpr const char* kIconToolTypesKey = "Vistaloom-ToolTypes";
inline constexpr const char* kIconDefaultToolKey = "Vistaloom-DefaultTool";

// Reads an icon's metadata (no pixels). False when the file is not a readable PNG.
bool GetDiskObject(const std::string& path, DiskObject& out);

// Writes an icon from an ARGB32 image, replacing path atomically. False on failure.
bool PutDiskObject(const std::string& path, const DiskObject& obj, const image::ChunkyImage* argb);

// The icon library's calls: the icon of name is the PNG file name + ".info".
// GetDiskObject reads it with its picture (null when it is missing or not a readable PNG,
// or its picture is beyond the size limit); PutDiskObject writes icon (picture, default
// tool, tool types) back as name + ".info", replacing the file in one rename (false on
// failure, the old file kept); FreeDiskObject frees a record from GetDiskObject.
DiskObject* GetDiskObject(const std::string& name);
bool PutDiskObject(const std::string& name, const DiskObject* icon);
void FreeDiskObject(DiskObject* icon);

struct DiskObjectDeleter {
  void operator()(DiskObject* icon) const { FreeDiskObject(icon); }
};
using DiskObjectPtr = std::unique_ptr<DiskObject, DiskObjectDeleter>;

inline constexpr const char* kIconSuffix = ".info";

// Tool type lookup, case-insensitive on the name: "NAME" or "NAME=value". Returns true
// when present; value gets the text after '=' (empty when none).
bool FindToolType(const std::vector<std::string>& toolTypes, std::string_view name, std::string* value = nullptr);

}  // namespace vl::formats
