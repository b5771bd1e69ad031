// Safe replacement of a file: write to a temporary file in the same directory, then
// rename it over the target. A save that fails (or is never committed) removes the
// temporary file and leaves the old target as it was.
//
// A writable file in a directory that takes no new names (no write permission) cannot be
// replaced that way. When the caller allows it (files of a size that fits in memory, such as
// saved pictures), its new contents are then gathered in memory, and only when they are
// complete is the file overwritten in place: its new length is reserved first, so a full
// disk or a size limit fails before a byte changes. What remains: a crash, a power loss or an
// I/O error while the bytes are being written leaves the file partly new, and a reader that
// opens it meanwhile sees a mix.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace vl::platform {

class SafeFile {
 public:
  // inPlaceFallback: overwrite a writable target in place (from memory) when its directory
  // takes no temporary file.
  explicit SafeFile(const std::string& target, bool inPlaceFallback = false);
  ~SafeFile();  // removes the temporary file unless Commit() succeeded
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // The open temporary file (or memory stream), or null when neither could be made.
  FILE* file() const { return file_; }
  // Empty while writing to memory.
  const std::string& tempPath() const { return temp_; }
  // Flushes, syncs, closes and renames over the target. False (and the temporary file
  // removed) on any failure, including earlier write errors on the stream.
  bool Commit();
  // Closes and removes the temporary file without touching the target.
  void Abandon();
  // The errno of the first failure (0 while there was none).
  int error() const { return error_; }

 private:
  struct Memory;
  bool OpenInPlace();
  bool CommitInPlace();

  std::string target_;
  std::string temp_;
  FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // the temporary file's stdio buffer; outlives file_
  bool done_ = false;
  int error_ = 0;
  int inPlaceFd_ = -1;              // the target, open for writing, when writing to memory
  std::unique_ptr<Memory> memory_;  // the bytes written so far
};

// Writes data to path through a SafeFile. On failure, error (when given) receives the errno
// of the step that failed.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int* error = nullptr);

}  // namespace vl::platform
