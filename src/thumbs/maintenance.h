// Cache maintenance on a cache tree, as the settings window and the headless options
// offer it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vl::thumbs {

// "size": prints the total size of the cache tree as FormatFileSize writes it.
// "clear": deletes the cache tree; "remove-dead": deletes the entries of vanished
// sources; both then print the new total as "%.3f Mbytes". Each line ends with "\n".
// root is the cache path (it may carry an assign). Returns 0, 1 when the work could not be
// done, 2 for an unknown word.
int RunCacheMaintenance(const std::string& what, const std::string& root, FILE* out);

// The new total as the window shows it after Clear and Remove dead.
std::string MegabytesText(uint64_t bytes);

}  // namespace vl::thumbs
