#include "formats/file_type.h"

#include <magic.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "formats/decoders.h"
#include "formats/file_read.h"
#include "platform/paths.h"

namespace vl::formats {
namespace {

bool EndsWithNoCase(const char* s, const char* suffix) {
  size_t n = std::strlen(s), m = std::strlen(suffix);
  return n >= m && strcasecmp(s + n - m, suffix) == 0;
}

struct MagicCloser {
  void operator()(magic_t m) const {
    if (m) magic_close(m);
  }
};
using MagicPtr = std::unique_ptr<std::remove_pointer_t<magic_t>, MagicCloser>;

magic_t ThreadMagic() {
  thread_local MagicPtr handle;
  thread_local bool tried = false;
  if (!tried) {
    tried = true;
    handle.reset(magic_open(MAGIC_NONE | MAGIC_ERROR));
    if (handle && magic_load(handle.get(), nullptr) != 0) handle.reset();
  }
  return handle.get();
}

uint32_t GroupForMime(const std::string& mime) {
  std::string top = mime.substr(0, mime.find('/'));
  if (top == "text") return kGroupText;
  if (top == "audio") return kGroupSound;
  if (top == "video") return kGroupMovie;
  if (top == "image") return kGroupImage;
  return kGroupSystem;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

DataTypeName GetDataTypeName(const char* path) {
  DataTypeName result;
  if (!path || !*path) return result;
  std::string resolved = platform::ResolvePath(path);
  if (!PathExists(resolved)) return result;
  uint8_t head[kSniffBytes];
  size_t got = 0;
  if (ReadFileStart(path, head, sizeof head, got)) {
    if (const Decoder* d = FindDecoder(head, got)) {
      result.group = kGroupPicture;
      result.name = strcasecmp(d->typeName, "JFIF") == 0 ? "JPEG" : d->typeName;
      return result;
    }
  }
  result.group = kGroupSystem;
  result.name = "Unknown";
  magic_t m = ThreadMagic();
  if (!m) return result;
  magic_setflags(m, MAGIC_MIME_TYPE | MAGIC_ERROR);
  const char* mimeText = magic_file(m, resolved.c_str());
  std::string mime = mimeText ? mimeText : "";
  magic_setflags(m, MAGIC_NONE | MAGIC_ERROR);
  const char* descText = magic_file(m, resolved.c_str());
  std::string desc = descText ? descText : "";
  if (mime.empty() || mime == "application/octet-stream" || mime == "inode/x-empty") return result;
  result.group = GroupForMime(mime);
  // The description up to its first comma ("ASCII text", "PDF document"), else the MIME type.
  desc = desc.substr(0, desc.find(','));
  while (!desc.empty() && desc.back() == ' ') desc.pop_back();
  result.name = desc.empty() ? mime : desc;
  if (strcasecmp(result.name.c_str(), "JFIF") == 0) result.name = "JPEG";
  return result;
}

bool GetDataTypeName(const char* path, char* buffer, size_t bufferSize) {
  if (!buffer || bufferSize == 0) return false;
  std::snprintf(buffer, bufferSize, "%s", "Unknown");
  DataTypeName t = GetDataTypeName(path);
  if (t.group == 0) return false;
  std::snprintf(buffer, bufferSize, "%s", t.name.c_str());
  return true;
}

bool IsPictureFile(const char* path) {
  if (!path) return false;
  if (EndsWithNoCase(path, ".ras") || EndsWithNoCase(path, ".ras32") || EndsWithNoCase(path, ".ras24")) return true;
  // Only the decoders' sniffers put a file in the picture group.
  uint8_t head[kSniffBytes];
  size_t got = 0;
  return ReadFileStart(path, head, sizeof head, got) && FindDecoder(head, got) != nullptr;
}

}  // namespace vl::formats
