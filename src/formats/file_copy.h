// Copying files.
#pragma once

namespace vl::formats {

// 1 on success, 0 on failure. A failed copy leaves an existing destination as it was.
int CopyFile(const char* source, const char* destination);

}  // namespace vl::formats
