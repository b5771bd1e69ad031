// Type detection of files: the decoders' sniffers first, then libmagic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl::formats {

// True when type detection puts the file in the picture group, or when the name ends
// (any case) in ".ras", ".ras32" or ".ras24".
bool IsPictureFile(const char* path);

struct DataTypeName {
  uint32_t group = 0;  // kGroupPicture, kGroupText, ... (decoders.h); 0 when the file is missing
  std::string name;    // empty when the file is missing
};
// The detected type of a file ("JFIF" reported as "JPEG"); "Unknown" when the file exists
// but its type is not recognised.
DataTypeName GetDataTypeName(const char* path);
// Writes the type name into buffer (starting from "Unknown"); false when the file is missing.
bool GetDataTypeName(const char* path, char* buffer, size_t bufferSize);

}  // namespace vl::formats
