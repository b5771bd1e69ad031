#include "formats/file_load.h"

#include <sys/stat.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "formats/file_read.h"
#include "image/chunky.h"
#include "platform/paths.h"

namespace vl::formats {
namespace {

std::atomic<bool> g_verbose{false};

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

}  // namespace

void SetVerbose(bool on) {
  g_verbose = on;
}
bool IsVerbose() {
  return g_verbose;
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
