// Deleting directory trees.
#pragma once

namespace vl::formats {

// Deletes a directory's contents recursively, then the directory. Symbolic links are
// removed, never followed. True when everything went.
bool DeleteTree(const char* path);

}  // namespace vl::formats
