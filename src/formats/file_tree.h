// Deleting directory trees.
#pragma once

#include "platform/stop_flag.h"

namespace vl::formats {

// Deletes a directory's contents recursively, then the directory. Symbolic links are
// removed, never followed. True when everything went; false too when stop was raised
// before the end (what was deleted by then is gone).
bool DeleteTree(const char* path, const platform::StopFlag& stop = platform::NeverStop());

}  // namespace vl::formats
