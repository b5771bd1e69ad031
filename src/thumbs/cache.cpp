#include "thumbs/cache.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "formats/file_tree.h"
#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "platform/mounts.h"
#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::thumbs {
namespace fs = std::filesystem;

namespace {

constexpr const char* kCommentAttribute = "user.xdg.comment";
constexpr size_t kMaxCanonicalPath = 1024;
constexpr size_t kMaxCommentBytes = 1024;
constexpr size_t kMaxFormatName = 127;
constexpr int64_t kEpoch1978 = 252460800;  // 1978-01-01 00:00:00 UTC in Unix time

std::atomic<bool> gForceSideFile{false};
std::atomic<unsigned> gTempCounter{0};

std::string TrimTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// The cache root as an absolute, normalised path; empty for no root or for "/", which
// would put cache files over the sources themselves.
std::string ResolvedRoot(const std::string& root) {
  std::string resolved = platform::ResolvePath(root);
  if (resolved.empty()) return {};
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(resolved), ec);
  if (ec) return {};
  fs::path canonical = fs::weakly_canonical(p, ec);
  if (ec) canonical = p.lexically_normal();
  std::string out = TrimTrailingSlashes(canonical.native());
  if (out.empty() || out == "/") return {};
  return out;
}

// The canonical path without its leading "/", or empty.
std::string RelativeSourcePath(const std::string& sourcePath) {
  if (sourcePath.empty()) return {};
  char* real = ::realpath(sourcePath.c_str(), nullptr);
  if (!real) return {};
  std::string canonical(real);
  std::free(real);
  if (canonical.size() > kMaxCanonicalPath || canonical.size() < 2 || canonical[0] != '/') return {};
  std::string rel = canonical.substr(1);
  // A canonical path has no empty, "." or ".." components; check anyway, since the
  // result is joined under the cache root.
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    std::string_view part(rel.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return {};
    start = end + 1;
  }
  return rel;
}

bool ParseDecimal(const char*& p, int32_t& out) {
  bool negative = false;
  if (*p == '-' || *p == '+') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    if (v > INT32_MAX) return false;
  }
  out = static_cast<int32_t>(negative ? -v : v);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const char*& p, uint32_t& out) {
  uint32_t v = 0;
  int digits = 0;
  while (HexDigit(*p) >= 0) {
    if (++digits > 8) return false;
    v = (v << 4) | static_cast<uint32_t>(HexDigit(*p++));
  }
  if (digits == 0) return false;
  out = v;
  return true;
}

bool SkipSpaces(const char*& p) {
  if (*p != ' ') return false;
  while (*p == ' ') ++p;
  return true;
}

std::string CleanFormatName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (out.size() == kMaxFormatName) break;
    unsigned char u = static_cast<unsigned char>(c);
    out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  size_t lead = out.find_first_not_of(' ');
  out = lead == std::string::npos ? std::string() : out.substr(lead);
  return out.empty() ? std::string("Unknown") : out;
}

bool ReadSmallFile(const std::string& path, std::string& out, size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || static_cast<uint64_t>(st.st_size) > limit) {
    ::close(fd);
    return false;
  }
  std::string data(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < data.size()) {
    ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got != data.size()) return false;
  out = std::move(data);
  return true;
}

bool AlphaNearlyOpaque(const image::ChunkyImage* img) {
  int alphaByte;
  if (img->format == image::ARGB32) {
    alphaByte = 0;
  } else if (img->format == image::RGBA32) {
    alphaByte = 3;
  } else {
    return true;
  }
  size_t count = static_cast<size_t>(img->width) * static_cast<size_t>(img->height);
  const uint8_t* p = img->pixels + alphaByte;
  for (size_t i = 0; i < count; ++i, p += 4)
    if (*p <= 251) return false;
  return true;
}

void RemoveCacheFile(const std::string& root, const std::string& file) {
  ::unlink(file.c_str());
  std::string side = CacheSideFilePath(root, file);
  if (!side.empty()) ::unlink(side.c_str());
}

std::string DeviceFromSource(const std::string& source) {
  size_t slash = source.rfind('/');
  return slash == std::string::npos ? source : source.substr(slash + 1);
}

bool PathInsideMount(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

bool IsDeadSource(const std::string& source) {
  struct stat st;
  if (::lstat(source.c_str(), &st) == 0) return false;
  return errno == ENOENT || errno == ENOTDIR;
}

}  // namespace

DateStamp DateStampFromTime(int64_t seconds, int64_t nanoseconds) {
  int64_t s = seconds - kEpoch1978;
  int64_t days = s / 86400;
  int64_t rest = s % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  if (nanoseconds < 0) nanoseconds = 0;
  DateStamp d;
  d.days = static_cast<int32_t>(days);
  d.minutes = static_cast<int32_t>(rest / 60);
  d.ticks = static_cast<int32_t>((rest % 60) * 50 + (nanoseconds % 1000000000) / 20000000);
  return d;
}

bool FileDateStamp(const std::string& path, DateStamp& date, uint64_t* size) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  date = DateStampFromTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return true;
}

void SetDisabledVolumes(CacheContext& cache, const std::vector<std::string>& names) {
  cache.disabledVolumes.clear();
  for (const std::string& n : names)
    if (!n.empty()) cache.disabledVolumes.push_back(n);
}

int CompressionQuality(uint32_t type) {
  switch (type) {
    case 0: return 80;
    case 1: return 60;
    case 2: return 40;
    default: return -1;
  }
}

void FreeCacheEntry(CacheEntry* entry) {
  if (!entry) return;
  image::chk_Free(entry->image);
  delete entry;
}

std::string CacheFilePath(const std::string& root, const std::string& sourcePath) {
  std::string rel = RelativeSourcePath(sourcePath);
  if (rel.empty()) return {};
  std::string r = ResolvedRoot(root);
  if (r.empty()) return {};
  return r + "/" + rel;
}

std::string CacheSideFilePath(const std::string& root, const std::string& cacheFile) {
  std::string r = ResolvedRoot(root);
  if (r.empty()) return {};
  if (cacheFile.size() <= r.size() + 1 || cacheFile.compare(0, r.size(), r) != 0 || cacheFile[r.size()] != '/')
    return {};
  // A tree of its own beside the cache root, so that no side file can share a name
  // with a cache file.
  return r + ".comments" + cacheFile.substr(r.size());
}

std::string FormatCacheComment(const CacheComment& c) {
  char head[128];
  std::snprintf(head, sizeof head, "%d %x %x %x %x %x %x %x %x ", c.compression, c.sourceSize,
                static_cast<uint32_t>(c.date.days), static_cast<uint32_t>(c.date.minutes),
                static_cast<uint32_t>(c.date.ticks), c.boxWidth, c.boxHeight, c.sourceWidth, c.sourceHeight);
  return std::string(head) + CleanFormatName(c.formatName);
}

bool ParseCacheComment(const std::string& text, CacheComment& c) {
  if (text.size() > kMaxCommentBytes || text.find('\0') != std::string::npos) return false;
  const char* p = text.c_str();
  CacheComment out;
  uint32_t f[8];
  if (!ParseDecimal(p, out.compression)) return false;
  for (uint32_t& v : f) {
    if (!SkipSpaces(p) || !ParseHex(p, v)) return false;
  }
  if (!SkipSpaces(p) || *p == '\0') return false;
  out.sourceSize = f[0];
  out.date.days = static_cast<int32_t>(f[1]);
  out.date.minutes = static_cast<int32_t>(f[2]);
  out.date.ticks = static_cast<int32_t>(f[3]);
  out.boxWidth = f[4];
  out.boxHeight = f[5];
  out.sourceWidth = f[6];
  out.sourceHeight = f[7];
  out.formatName = p;
  while (!out.formatName.empty() && (out.formatName.back() == '\n' || out.formatName.back() == ' '))
    out.formatName.pop_back();
  if (out.formatName.empty()) return false;
  c = std::move(out);
  return true;
}

bool WriteCacheComment(const std::string& root, const std::string& cacheFile, const std::string& text) {
  std::string side = CacheSideFilePath(root, cacheFile);
  if (!gForceSideFile.load()) {
    if (::setxattr(cacheFile.c_str(), kCommentAttribute, text.data(), text.size(), 0) == 0) {
      if (!side.empty()) ::unlink(side.c_str());  // a stale side file must not outlive it
      return true;
    }
    if (errno != ENOTSUP && errno != EOPNOTSUPP) return false;
  }
  if (side.empty()) return false;
  std::string dir(platform::PathPart(side));
  if (!platform::MakeDirectories(dir)) return false;
  return platform::WriteFileAtomically(side, text.data(), text.size());
}

bool ReadCacheComment(const std::string& root, const std::string& cacheFile, std::string& text) {
  if (!gForceSideFile.load()) {
    char buf[kMaxCommentBytes + 1];
    ssize_t n = ::getxattr(cacheFile.c_str(), kCommentAttribute, buf, kMaxCommentBytes);
    if (n >= 0) {
      text.assign(buf, static_cast<size_t>(n));
      return true;
    }
    if (errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP) return false;
  }
  std::string side = CacheSideFilePath(root, cacheFile);
  if (side.empty()) return false;
  return ReadSmallFile(side, text, kMaxCommentBytes);
}

std::string MountDeviceName(const std::string& mountinfo, dev_t dev, const std::string& canonicalPath) {
  std::string byPrefix;
  size_t bestPrefix = 0;
  bool havePrefix = false;
  for (const platform::MountRecord& m : platform::ParseMountInfo(mountinfo)) {
    std::string device = DeviceFromSource(m.source);
    if (m.hasDevice && m.device == dev) return device;
    if (PathInsideMount(canonicalPath, m.mountPoint) && (!havePrefix || m.mountPoint.size() >= bestPrefix)) {
      bestPrefix = m.mountPoint.size();
      byPrefix = device;
      havePrefix = true;
    }
  }
  return byPrefix;
}

std::string DeviceNameOfPath(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  char* real = ::realpath(path.c_str(), nullptr);
  std::string canonical = real ? real : path;
  std::free(real);
  return MountDeviceName(platform::ReadMountInfo(), st.st_dev, canonical);
}

bool OnDisabledVolume(const CacheContext& cache, const std::string& sourcePath) {
  if (cache.disabledVolumes.empty()) return false;
  std::string device = DeviceNameOfPath(sourcePath);
  if (device.empty()) return false;  // a volume whose device cannot be found is never disabled
  for (const std::string& name : cache.disabledVolumes)
    if (strcasecmp(name.c_str(), device.c_str()) == 0) return true;
  return false;
}

bool StoreImage(const CacheContext& cache, const std::string& sourcePath, const image::ChunkyImage* thumbnail,
                uint32_t compression, uint32_t sourceSize, const DateStamp& sourceDate, uint32_t boxWidth,
                uint32_t boxHeight, uint32_t sourceWidth, uint32_t sourceHeight, const std::string& formatName) {
  if (!thumbnail || !thumbnail->pixels || !image::SizeAllowed(thumbnail->width, thumbnail->height, thumbnail->format))
    return false;
  std::string file = CacheFilePath(cache.root, sourcePath);
  if (file.empty()) return false;
  if (OnDisabledVolume(cache, sourcePath)) return false;
  if (!AlphaNearlyOpaque(thumbnail)) return false;
  int quality = CompressionQuality(compression);
  if (quality < 0) {
    std::printf("[Cache]: StoreImage: compression type not implemented: 0x%x\n", compression);
    return false;
  }
  if (!cache.codec.saveJpeg) return false;
  std::string dir(platform::PathPart(file));
  if (!platform::MakeDirectories(dir)) return false;

  // The picture is written under a temporary name and gets its comment there; only then
  // is it renamed over the old entry, so no cache file is ever seen without its comment.
  std::string temp = dir + "/.vltmp-" + std::to_string(::getpid()) + "-" + std::to_string(gTempCounter.fetch_add(1));
  auto fail = [&] {
    ::unlink(temp.c_str());
    RemoveCacheFile(cache.root, file);
    return false;
  };
  if (cache.codec.saveJpeg(thumbnail, temp.c_str(), quality, false, false) != 1) return fail();
  CacheComment c;
  c.compression = static_cast<int32_t>(compression);
  c.sourceSize = sourceSize;
  c.date = sourceDate;
  c.boxWidth = boxWidth;
  c.boxHeight = boxHeight;
  c.sourceWidth = sourceWidth;
  c.sourceHeight = sourceHeight;
  c.formatName = formatName;
  std::string text = FormatCacheComment(c);
  std::string side = CacheSideFilePath(cache.root, file);
  bool inAttribute = false;
  if (!gForceSideFile.load()) {
    if (::setxattr(temp.c_str(), kCommentAttribute, text.data(), text.size(), 0) == 0) {
      inAttribute = true;
    } else if (errno != ENOTSUP && errno != EOPNOTSUPP) {
      return fail();
    }
  }
  if (!inAttribute) {
    // The old picture goes first: it must never be paired with the new side file.
    ::unlink(file.c_str());
    if (side.empty() || !platform::MakeDirectories(std::string(platform::PathPart(side))) ||
        !platform::WriteFileAtomically(side, text.data(), text.size()))
      return fail();
  }
  if (::rename(temp.c_str(), file.c_str()) != 0) return fail();
  if (inAttribute && !side.empty()) ::unlink(side.c_str());  // a stale side file must not outlive it
  return true;
}

CacheEntry* LoadImage(const CacheContext& cache, const std::string& sourcePath, uint32_t sourceSize,
                      const DateStamp& sourceDate, uint32_t boxWidth, uint32_t boxHeight) {
  std::string file = CacheFilePath(cache.root, sourcePath);
  if (file.empty()) return nullptr;
  struct stat st;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  std::string stored;
  if (!ReadCacheComment(cache.root, file, stored)) return nullptr;

  char prefix[96];
  int len = std::snprintf(prefix, sizeof prefix, "%d %x %x %x %x %x %x", 0, sourceSize,
                          static_cast<uint32_t>(sourceDate.days), static_cast<uint32_t>(sourceDate.minutes),
                          static_cast<uint32_t>(sourceDate.ticks), boxWidth, boxHeight);
  if (len < 2 || stored.size() < static_cast<size_t>(len)) return nullptr;
  // Fields 2 to 7 must match exactly: the compression digit and its space are skipped,
  // and the last compared field must end where the prefix ends.
  if (stored.compare(2, static_cast<size_t>(len) - 2, prefix + 2) != 0) return nullptr;
  if (stored.size() == static_cast<size_t>(len) || stored[static_cast<size_t>(len)] != ' ') return nullptr;

  CacheComment c;
  if (!ParseCacheComment(stored, c)) return nullptr;
  if (CompressionQuality(static_cast<uint32_t>(c.compression)) < 0 || c.compression < 0) {
    std::printf("[Cache]: LoadImage: compression type not implemented: 0x%x\n", static_cast<uint32_t>(c.compression));
    return nullptr;
  }
  if (!cache.codec.readJpeg) return nullptr;
  image::TexturePtr texture(cache.codec.readJpeg(file.c_str()));
  if (!texture || !texture->chunky || !texture->chunky->pixels) return nullptr;
  std::unique_ptr<CacheEntry, CacheEntryDeleter> entry(new (std::nothrow) CacheEntry());
  if (!entry) return nullptr;
  entry->image = texture->chunky;
  texture->chunky = nullptr;
  entry->sourceWidth = static_cast<uint16_t>(c.sourceWidth);
  entry->sourceHeight = static_cast<uint16_t>(c.sourceHeight);
  entry->formatName = c.formatName;
  entry->sourceSize = c.sourceSize;
  return entry.release();
}

std::string ResolvedCacheRoot(const std::string& root) {
  return ResolvedRoot(root);
}

uint64_t CacheSize(const std::string& root, const platform::StopFlag& stop) {
  std::string r = ResolvedRoot(root);
  if (r.empty()) return 0;
  uint64_t total = 0;
  for (const std::string& tree : {r, r + ".comments"}) {
    std::error_code ec;
    fs::recursive_directory_iterator it(tree, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end && !stop.Requested(); it.increment(ec)) {
      std::error_code sec;
      fs::file_status s = it->symlink_status(sec);
      if (sec || !fs::is_regular_file(s)) continue;
      uint64_t n = it->file_size(sec);
      if (!sec) total += n;
    }
  }
  return total;
}

bool ClearCache(const std::string& root, const platform::StopFlag& stop) {
  std::string r = ResolvedRoot(root);
  if (r.empty()) return false;
  struct stat st;
  bool ok = true;
  if (::lstat(r.c_str(), &st) == 0) ok = formats::DeleteTree(r.c_str(), stop);
  std::string side = r + ".comments";
  if (::lstat(side.c_str(), &st) == 0) ok = formats::DeleteTree(side.c_str(), stop) && ok;
  return ok;
}

void RemoveDead(const std::string& root, const platform::StopFlag& stop) {
  std::string r = ResolvedRoot(root);
  if (r.empty()) return;
  std::vector<std::string> dead;
  std::error_code ec;
  fs::recursive_directory_iterator it(r, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end && !stop.Requested(); it.increment(ec)) {
    std::error_code sec;
    fs::file_status s = it->symlink_status(sec);
    if (sec || fs::is_directory(s)) continue;
    const std::string& file = it->path().native();
    if (file.size() <= r.size() + 1) continue;
    std::string source;
    try {
      source = file.substr(r.size());  // keeps the "/" that stands for the volume's colon
    } catch (const std::bad_alloc&) {
      std::printf("Not enough memory for path(%d bytes)\n", static_cast<int>(file.size() - r.size() + 1));
      continue;
    }
    if (IsDeadSource(source)) dead.push_back(file);
  }
  for (const std::string& f : dead) RemoveCacheFile(root, f);
  if (stop.Requested()) return;

  // Side files whose cache file has gone.
  std::string sideRoot = r + ".comments";
  std::vector<std::string> orphans;
  std::error_code sec;
  fs::recursive_directory_iterator sit(sideRoot, fs::directory_options::skip_permission_denied, sec);
  for (; !sec && sit != end && !stop.Requested(); sit.increment(sec)) {
    std::error_code tec;
    if (fs::is_directory(sit->symlink_status(tec))) continue;
    std::string cacheFile = r + sit->path().native().substr(sideRoot.size());
    struct stat st;
    if (::lstat(cacheFile.c_str(), &st) != 0 && errno == ENOENT) orphans.push_back(sit->path().native());
  }
  for (const std::string& f : orphans) ::unlink(f.c_str());
}

CacheCodec DefaultCacheCodec() {
  CacheCodec c;
  // Cached thumbnails carry no metadata.
  c.saveJpeg = [](const image::ChunkyImage* image, const char* path, int quality, bool optimize, bool noSubsampling) {
    return formats::SaveJPEG(image, path, quality, optimize, noSubsampling);
  };
  c.readJpeg = formats::ReadJpegForCache;
  return c;
}

namespace testing {
void ForceSideFileComments(bool on) {
  gForceSideFile.store(on);
}
}  // namespace testing

}  // namespace vl::thumbs
