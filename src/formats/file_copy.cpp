#include "formats/file_copy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "formats/file_read.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::formats {

int CopyFile(const char* source, const char* destination) {
  if (!source || !destination) return 0;
  std::string dst = platform::ResolvePath(destination);
  FILE* in = OpenRegularFile(source);
  if (!in) return 0;
  struct stat sst, dstst;
  // Copying a file onto itself would truncate it before reading it.
  if (::fstat(fileno(in), &sst) != 0 ||
      (::stat(dst.c_str(), &dstst) == 0 && sst.st_dev == dstst.st_dev && sst.st_ino == dstst.st_ino)) {
    std::fclose(in);
    return 0;
  }
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(65536);
  } catch (const std::bad_alloc&) {
    std::fclose(in);
    return 0;
  }
  platform::SafeFile out(dst);
  bool ok = out.file() != nullptr && fseeko(in, 0, SEEK_END) == 0;
  off_t size = ok ? ftello(in) : -1;
  ok = ok && size >= 0 && fseeko(in, 0, SEEK_SET) == 0;
  off_t left = size;
  while (ok && left > 0) {
    size_t piece = static_cast<size_t>(std::min<off_t>(left, 65536));
    ok = std::fread(buffer.data(), 1, piece, in) == piece && std::fwrite(buffer.data(), 1, piece, out.file()) == piece;
    left -= static_cast<off_t>(piece);
  }
  std::fclose(in);
  if (ok) ok = out.Commit();
  return ok ? 1 : 0;
}

}  // namespace vl::formats
