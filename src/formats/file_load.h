// Whole-file loading and file sizes, with the registered data packs consulted before the
// file system, and the program-wide verbose flag their diagnostics follow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vl::formats {

// Whole-file loading (data packs first, then the file system). Empty optional on failure.
std::optional<std::vector<uint8_t>> LoadFile(const char* name);
// Size in bytes; 0 when the file cannot be found.
uint64_t FileSize(const char* name);

// Data packs: archives of named entries that LoadFile and FileSize consult first.
struct DataPackEntry {
  std::string name;  // lower case, without "progdir:"
  uint64_t size = 0;
  uint64_t offset = 0;
};
// Registers the entries of the pack file; false when the file cannot be opened.
bool RegisterDataPack(const std::string& packPath, const std::vector<DataPackEntry>& entries);
void UnregisterDataPacks();

// The program-wide verbose flag (extra diagnostics).
void SetVerbose(bool on);
bool IsVerbose();

}  // namespace vl::formats
