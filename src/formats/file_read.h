// Reading regular files: opening without blocking on FIFOs or devices, whole files up to a
// limit, and the first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace vl::formats {

// Opens a regular file for reading (assign names resolved) without blocking on FIFOs or
// devices. Null when it is missing or not a regular file.
FILE* OpenRegularFile(const char* path);
// Reads a whole regular file of at most maxBytes bytes. False on any fault.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes);
// Reads up to count bytes from the start of a regular file; false when it cannot be read.
bool ReadFileStart(const char* path, uint8_t* buffer, size_t count, size_t& got);

}  // namespace vl::formats
