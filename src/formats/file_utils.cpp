#include "formats/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <magic.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "formats/decoders.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::formats {
namespace {

std::atomic<bool> g_verbose{false};

bool EndsWithNoCase(const char* s, const char* suffix) {
  size_t n = std::strlen(s), m = std::strlen(suffix);
  return n >= m && strcasecmp(s + n - m, suffix) == 0;
}

// ---- data packs ----

struct DataPack {
  FILE* file = nullptr;
  std::vector<DataPackEntry> entries;
};

std::mutex g_packLock;
std::vector<std::unique_ptr<DataPack>>& Packs() {
  static std::vector<std::unique_ptr<DataPack>> packs;
  return packs;
}

std::string PackKey(const char* name) {
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (key.size() > 8 && key.compare(0, 8, "progdir:") == 0) key.erase(0, 8);
  return key;
}

// Looks a name up in the registered packs; the lock must be held.
bool FindPackEntry(const std::string& key, DataPack*& pack, const DataPackEntry*& entry) {
  for (auto& p : Packs())
    for (const DataPackEntry& e : p->entries)
      if (e.name == key) {
        pack = p.get();
        entry = &e;
        return true;
      }
  return false;
}

// ---- libmagic, one handle per thread ----

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

void SetVerbose(bool on) {
  g_verbose = on;
}
bool IsVerbose() {
  return g_verbose;
}

FILE* OpenRegularFile(const char* path) {
  if (!path || !*path) return nullptr;
  std::string p = platform::ResolvePath(path);
  int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxBytes) {
  out.clear();
  FILE* f = OpenRegularFile(path);
  if (!f) return false;
  struct stat st;
  bool ok = ::fstat(fileno(f), &st) == 0 && st.st_size >= 0 && static_cast<uint64_t>(st.st_size) <= maxBytes;
  if (ok) {
    try {
      out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (ok && !out.empty()) ok = std::fread(out.data(), 1, out.size(), f) == out.size();
  std::fclose(f);
  if (!ok) out = std::vector<uint8_t>();
  return ok;
}

bool ReadFileStart(const char* path, uint8_t* buffer, size_t count, size_t& got) {
  got = 0;
  FILE* f = OpenRegularFile(path);
  if (!f) return false;
  got = std::fread(buffer, 1, count, f);
  std::fclose(f);
  return true;
}

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

void FormatFileSize(char* buffer, size_t bufferSize, uint64_t size) {
  if (!buffer || bufferSize == 0) return;
  auto whole = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  if (size <= 10239) {
    std::snprintf(buffer, bufferSize, "%llu bytes", whole(size));
  } else if (size <= 0xFFFFF) {
    std::snprintf(buffer, bufferSize, "%llu.%llu KB", whole(size >> 10), whole(((size & 0x3FF) * 10) >> 10));
  } else if (size <= 0x3FFFFFFF) {
    std::snprintf(buffer, bufferSize, "%llu.%llu MB", whole(size >> 20), whole(((size & 0xFFFFF) * 10) >> 20));
  } else if (size < (uint64_t{1} << 40)) {
    std::snprintf(buffer, bufferSize, "%llu.%llu GB", whole(size >> 30), whole(((size & 0x3FFFFFFF) * 10) >> 30));
  } else {
    constexpr uint64_t kMask = (uint64_t{1} << 40) - 1;
    std::snprintf(buffer, bufferSize, "%llu.%llu TB", whole(size >> 40), whole(((size & kMask) * 10) >> 40));
  }
}

std::string DirPart(const char* path) {
  if (!path) return std::string();
  std::string_view p(path);
  return std::string(p.substr(0, p.size() - platform::FilePart(p).size()));
}

std::string ReplaceSuffix(const char* name, const char* suffix) {
  if (!name) return std::string();
  std::string n(name);
  size_t dot = n.rfind('.');
  if (dot == std::string::npos) return n;
  return n.substr(0, dot) + "." + (suffix ? suffix : "");
}

std::optional<std::vector<uint8_t>> LoadFile(const char* name) {
  if (!name) return std::nullopt;
  {
    std::lock_guard<std::mutex> g(g_packLock);
    DataPack* pack = nullptr;
    const DataPackEntry* e = nullptr;
    if (FindPackEntry(PackKey(name), pack, e)) {
      std::vector<uint8_t> buf;
      try {
        buf.resize(static_cast<size_t>(e->size));
      } catch (const std::exception&) {
        std::printf("[DATA]: Failed to allocate memory for file:%s (%d)\n", e->name.c_str(), static_cast<int>(e->size));
        return std::nullopt;
      }
      if (fseeko(pack->file, static_cast<off_t>(e->offset), SEEK_SET) != 0 ||
          std::fread(buf.data(), 1, buf.size(), pack->file) != buf.size())
        return std::nullopt;
      return buf;
    }
  }
  std::vector<uint8_t> data;
  FILE* f = OpenRegularFile(name);
  if (!f) {
    if (IsVerbose()) std::printf("[DATA]:LoadFile: Failed to find a file: %s\n", name);
    return std::nullopt;
  }
  uint64_t size = FileSize(name);
  bool ok = size <= static_cast<uint64_t>(image::kMaxBufferBytes);
  if (ok) {
    try {
      data.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    if (!ok && IsVerbose()) std::printf("[DATA]:LoadFile: Failed to find a file: %s\n", name);
  }
  // A file that shrank while being read is a failure, not a zero-padded buffer.
  if (ok && !data.empty()) ok = std::fread(data.data(), 1, data.size(), f) == data.size();
  std::fclose(f);
  if (!ok) return std::nullopt;
  return data;
}

uint64_t FileSize(const char* name) {
  if (!name) return 0;
  {
    std::lock_guard<std::mutex> g(g_packLock);
    DataPack* pack = nullptr;
    const DataPackEntry* e = nullptr;
    if (FindPackEntry(PackKey(name), pack, e)) return e->size;
  }
  struct stat st;
  if (::stat(platform::ResolvePath(name).c_str(), &st) != 0) {
    std::printf("[DATA]:FileSize: Failed to find a file: %s\n", name);
    return 0;
  }
  return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

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

namespace {

bool DeleteResolvedTree(const std::string& dir) {
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(dir.c_str()) == 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool ok = true;
  std::vector<std::string> children;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    try {
      children.push_back(platform::JoinPath(dir, e->d_name));
    } catch (const std::bad_alloc&) {
      std::printf("Not enough memory for path(%d bytes)\n", static_cast<int>(dir.size() + std::strlen(e->d_name) + 2));
      ok = false;
    }
  }
  ::closedir(d);
  for (const std::string& c : children) {
    struct stat cst;
    if (::lstat(c.c_str(), &cst) != 0) {
      ok = false;
      continue;
    }
    if (S_ISDIR(cst.st_mode))
      ok = DeleteResolvedTree(c) && ok;
    else if (::unlink(c.c_str()) != 0)
      ok = false;
  }
  if (::rmdir(dir.c_str()) != 0) ok = false;
  return ok;
}

}  // namespace

bool DeleteTree(const char* path) {
  if (!path || !*path) return false;
  return DeleteResolvedTree(platform::ResolvePath(path));
}

bool RegisterDataPack(const std::string& packPath, const std::vector<DataPackEntry>& entries) {
  FILE* f = OpenRegularFile(packPath.c_str());
  if (!f) return false;
  auto pack = std::make_unique<DataPack>();
  pack->file = f;
  for (DataPackEntry e : entries) {
    e.name = PackKey(e.name.c_str());
    pack->entries.push_back(e);
  }
  std::lock_guard<std::mutex> g(g_packLock);
  Packs().push_back(std::move(pack));
  return true;
}

void UnregisterDataPacks() {
  std::lock_guard<std::mutex> g(g_packLock);
  for (auto& p : Packs())
    if (p->file) std::fclose(p->file);
  Packs().clear();
}

}  // namespace vl::formats
