// The EXIF window's lines as plain text, for the headless mode.
#pragma once

#include <cstdio>
#include <string>

namespace vl::formats {

// Prints the EXIF window lines of path on out, one "Label text" a line, and returns 0; prints
// "No EXIF data" and returns 1 when the file has no EXIF block.
int PrintExifReport(const std::string& path, FILE* out);

}  // namespace vl::formats
