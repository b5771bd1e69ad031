// Cache maintenance on the cache path of a settings record, as the settings window and
// the headless options offer it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "thumbs/cache.h"

namespace vl::settings {

// "size": prints the total size of the cache tree as FormatFileSize writes it.
// "clear": deletes the cache tree; "remove-dead": deletes the entries of vanished
// sources; both then print the new total as "%.3f Mbytes". Each line ends with "\n".
// Returns 0, 1 when the work could not be done, 2 for an unknown word.
int RunCacheMaintenance(const std::string& what, const Settings& settings, FILE* out);

// The cache context of a settings record: its cache path and disabled volumes.
thumbs::CacheContext CacheContextFor(const Settings& settings);

// The new total as the window shows it after Clear and Remove dead.
std::string MegabytesText(uint64_t bytes);

}  // namespace vl::settings
