// Turning a file name (or the clipboard) into a Texture.
//
// The name's suffix picks a built-in reader to try first: ".jpg" (any case) the built-in
// JPEG reader, ".ras", ".ras24" and ".ras32" the Sun Raster reader. Whatever they refuse,
// and every other name, goes to the system decoder (decoders.h), which sniffs the content.
#pragma once

#include <string>

#include "image/chunky.h"

namespace vl::formats {

// Loads a picture as ARGB32, all of it; path null reads the clipboard. Null on failure.
image::Texture* ReadPicture(const char* path);
// The same, but a file that embeds a quick stand-in for its picture (a camera RAW's preview)
// gives that, marked Texture::preview; ReadPicture then gives the full picture.
image::Texture* ReadPicturePreview(const char* path);
// The dispatch with the RGB24 readers (thumbnail scanning), taking previews where files have
// them. Null reads the clipboard.
image::Texture* ReadPictureForScan(const char* path);

// The process-wide name of the format the last successful reader recognised.
// "JFIF" (any case) is stored as "JPEG".
void SetFormatName(const std::string& name);
std::string GetFormatName();

}  // namespace vl::formats
