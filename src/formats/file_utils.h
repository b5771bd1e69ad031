// File routines shared by the loaders, the browser and the cache: type queries, size
// texts, suffix and directory parts, whole-file loading, copying and recursive delete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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

// The size as text: "%u bytes" up to 10239, then KB, MB, GB and TB with one truncated decimal.
void FormatFileSize(char* buffer, size_t bufferSize, uint64_t size);

// The path up to, not including, its last component.
std::string DirPart(const char* path);
// The name cut at its last "." followed by "." and the suffix; unchanged without a ".".
std::string ReplaceSuffix(const char* name, const char* suffix);

// Whole-file loading (data packs first, then the file system). Empty optional on failure.
std::optional<std::vector<uint8_t>> LoadFile(const char* name);
// Size in bytes; 0 when the file cannot be found.
uint64_t FileSize(const char* name);
// 1 on success, 0 on failure. A failed copy leaves an existing destination as it was.
int CopyFile(const char* source, const char* destination);
// Deletes a directory's contents recursively, then the directory. Symbolic links are
// removed, never followed. True when everything went.
bool DeleteTree(const char* path);

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

// Opens a regular file for reading (assign names resolved) without blocking on FIFOs or
// devices. Null when it is missing or not a regular file.
FILE* OpenRegularFile(const char* path);
// Reads a whole regular file of at most maxBytes bytes. False on any fault.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes);
// Reads up to count bytes from the start of a regular file; false when it cannot be read.
bool ReadFileStart(const char* path, uint8_t* buffer, size_t count, size_t& got);

}  // namespace vl::formats
