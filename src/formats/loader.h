// Turning a file name (or the clipboard) into a Texture.
#pragma once

#include <string>

#include "image/chunky.h"

namespace vl::formats {

// Loads a picture as ARGB32; path null reads the clipboard. Null on failure.
image::Texture* ReadPicture(const char* path);

// The process-wide name of the format the last successful reader recognised.
void SetFormatName(const std::string& name);
std::string GetFormatName();

}  // namespace vl::formats
