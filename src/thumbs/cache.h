// The thumbnail disk cache: small JPEG files in a tree that mirrors the source's
// canonical path, each validated by its comment (the extended attribute
// user.xdg.comment, or a side file where the file system refuses attributes).
//
// /home/a/x.jpg is cached as <root>/home/a/x.jpg. The comment holds ten fields,
// "%d %x %x %x %x %x %x %x %x %s": compression type, source size, the source's date
// (days, minutes, ticks), the thumbnail box width and height when stored, the source
// picture's width and height, and its format name.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/chunky.h"
#include "platform/stop_flag.h"

namespace vl::thumbs {

// A file date: days since 1978-01-01 (UTC), minutes into the day, ticks (1/50 s) into
// the minute.
struct DateStamp {
  int32_t days = 0;
  int32_t minutes = 0;
  int32_t ticks = 0;
};
DateStamp DateStampFromTime(int64_t seconds, int64_t nanoseconds);
// The modification date (and size) of a file; false when it cannot be examined.
bool FileDateStamp(const std::string& path, DateStamp& date, uint64_t* size = nullptr);

// The JPEG routines the cache writes and reads its files with.
struct CacheCodec {
  // 1 on success, 0 on failure.
  int (*saveJpeg)(const image::ChunkyImage* image, const char* path, int quality, bool optimize,
                  bool noSubsampling) = nullptr;
  // An RGB24 texture, or null.
  image::Texture* (*readJpeg)(const char* path) = nullptr;
};
// SaveJPEG and ReadJpegForCache.
CacheCodec DefaultCacheCodec();

struct CacheContext {
  std::string root = "PROGDIR:cache/";       // may carry an assign
  std::vector<std::string> disabledVolumes;  // device names, compared without regard to case
  CacheCodec codec = DefaultCacheCodec();
};

void SetDisabledVolumes(CacheContext& cache, const std::vector<std::string>& names);

// The JPEG quality of a compression type (0: 80, 1: 60, 2: 40), or -1 for another type.
// The type is recorded in each cache file's comment; the caller picks it (the settings
// record's cache compression).
int CompressionQuality(uint32_t type);

// A cache hit: the thumbnail (RGB24) and the facts recorded about its source.
struct CacheEntry {
  image::ChunkyImage* image = nullptr;
  uint16_t sourceWidth = 0;
  uint16_t sourceHeight = 0;
  std::string formatName;
  uint32_t sourceSize = 0;
};
void FreeCacheEntry(CacheEntry* entry);
struct CacheEntryDeleter {
  void operator()(CacheEntry* e) const { FreeCacheEntry(e); }
};
using CacheEntryPtr = std::unique_ptr<CacheEntry, CacheEntryDeleter>;

// Stores the thumbnail of sourcePath with its comment. Stores nothing (and returns false)
// on a disabled volume, for a thumbnail with any alpha at or below 251, for an unknown
// compression type, or on any failure, in which case no cache file is left behind.
bool StoreImage(const CacheContext& cache, const std::string& sourcePath, const image::ChunkyImage* thumbnail,
                uint32_t compression, uint32_t sourceSize, const DateStamp& sourceDate, uint32_t boxWidth,
                uint32_t boxHeight, uint32_t sourceWidth, uint32_t sourceHeight, const std::string& formatName);

// The cached thumbnail when its comment matches the source's size and date and the box
// size; null on any miss.
CacheEntry* LoadImage(const CacheContext& cache, const std::string& sourcePath, uint32_t sourceSize,
                      const DateStamp& sourceDate, uint32_t boxWidth, uint32_t boxHeight);

// The walks below end early when stop is raised (the size then counts what was seen).
// Bytes in the cache tree under root (0 when it does not exist).
uint64_t CacheSize(const std::string& root, const platform::StopFlag& stop = platform::NeverStop());
// Deletes the cache tree, the root directory included. Refuses an empty root and "/".
bool ClearCache(const std::string& root, const platform::StopFlag& stop = platform::NeverStop());
// Deletes every cache file whose source no longer exists; keeps the others.
void RemoveDead(const std::string& root, const platform::StopFlag& stop = platform::NeverStop());
// The cache root as an absolute, normalised path; empty for no root or one that would put
// the cache over the sources themselves ("/").
std::string ResolvedCacheRoot(const std::string& root);

// Pieces of the above, for the browser and the tests.

// The cache file of a source: empty when the source has no canonical path (it does not
// exist, or the path is longer than 1024 bytes). The result always lies inside root.
std::string CacheFilePath(const std::string& root, const std::string& sourcePath);
// Where the comment of a cache file is kept when attributes are refused.
std::string CacheSideFilePath(const std::string& root, const std::string& cacheFile);

struct CacheComment {
  int32_t compression = 0;
  uint32_t sourceSize = 0;
  DateStamp date;
  uint32_t boxWidth = 0;
  uint32_t boxHeight = 0;
  uint32_t sourceWidth = 0;
  uint32_t sourceHeight = 0;
  std::string formatName;
};
std::string FormatCacheComment(const CacheComment& comment);
// False unless all ten fields are there and well formed. The format name is the rest of
// the text after the ninth field, so names with spaces survive.
bool ParseCacheComment(const std::string& text, CacheComment& comment);

bool WriteCacheComment(const std::string& root, const std::string& cacheFile, const std::string& text);
bool ReadCacheComment(const std::string& root, const std::string& cacheFile, std::string& text);

// The device name of the mount holding a file: from mountinfo text (the kernel's
// /proc/self/mountinfo format), the mount whose device number is dev, else the mount with
// the longest mount point containing canonicalPath. Empty when none fits.
std::string MountDeviceName(const std::string& mountinfo, dev_t dev, const std::string& canonicalPath);
// The same for a path on this system.
std::string DeviceNameOfPath(const std::string& path);
// True when the source lies on a device named in the disabled list.
bool OnDisabledVolume(const CacheContext& cache, const std::string& sourcePath);

namespace testing {
// Makes comments go to side files as if the file system refused extended attributes.
void ForceSideFileComments(bool on);
}  // namespace testing

}  // namespace vl::thumbs
