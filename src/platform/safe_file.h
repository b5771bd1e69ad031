// Safe replacement of a file: write to a temporary file in the same directory, then
// rename it over the target. A save that fails (or is never committed) removes the
// temporary file and leaves the old target as it was.
#pragma once

#include <cstdio>
#include <string>

namespace vl::platform {

class SafeFile {
 public:
  explicit SafeFile(const std::string& target);
  ~SafeFile();  // removes the temporary file unless Commit() succeeded
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // The open temporary file, or null when it could not be created.
  FILE* file() const { return file_; }
  const std::string& tempPath() const { return temp_; }
  // Flushes, syncs, closes and renames over the target. False (and the temporary file
  // removed) on any failure, including earlier write errors on the stream.
  bool Commit();
  // Closes and removes the temporary file without touching the target.
  void Abandon();
  // The errno of the first failure (0 while there was none).
  int error() const { return error_; }

 private:
  std::string target_;
  std::string temp_;
  FILE* file_ = nullptr;
  bool done_ = false;
  int error_ = 0;
};

// Writes data to path through a SafeFile. On failure, error (when given) receives the errno
// of the step that failed.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int* error = nullptr);

}  // namespace vl::platform
