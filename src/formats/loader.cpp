#include "formats/loader.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "formats/decoders.h"
#include "formats/jpeg.h"
#include "formats/sunraster.h"
#include "platform/messages.h"

namespace vl::formats {
namespace {

std::mutex g_formatLock;
std::string g_formatName;
// The name this thread set last: a texture takes its format name from here, so that a
// load on another thread (the thumbnail scanner) cannot slip its name in between.
thread_local std::string t_formatName;

bool EndsWith(const char* path, size_t n, const char* suffix) {
  size_t s = std::strlen(suffix);
  return n >= s && strcasecmp(path + n - s, suffix) == 0;
}

using Reader = image::Texture* (*)(const char*);

image::Texture* Dispatch(const char* path, bool forScan, Detail detail) {
  size_t n = std::strlen(path);
  image::Texture* t = nullptr;
  if (n >= 4 && EndsWith(path, n, ".jpg")) {
    SetFormatName("JPEG");
    t = forScan ? ReadJpegForCache(path) : ReadJpeg(path);
  }
  Reader sun = forScan ? ReadSunRasterForScan : ReadSunRaster;
  if (!t && n > 4 && EndsWith(path, n, ".ras")) {
    SetFormatName("Sun Raster");
    t = sun(path);
  }
  if (!t && n > 6 && EndsWith(path, n, ".ras24")) {
    SetFormatName("Sun Raster");
    t = sun(path);
  }
  if (!t && n > 6 && EndsWith(path, n, ".ras32")) {
    SetFormatName("Sun Raster");
    t = sun(path);
  }
  if (!t) t = ReadDatatype(path, forScan, detail);
  if (!t) return nullptr;
  t->name = path;
  t->formatName = t_formatName;
  return t;
}

image::Texture* ReadClipboard(bool forScan) {  // the clipboard always comes as ARGB32
  image::Texture* t = ReadDatatype(nullptr, forScan);
  if (!t) {
    platform::PrintMessage("Failed!\n");
    return nullptr;
  }
  t->name = "Clipboard";
  return t;
}

}  // namespace

void SetFormatName(const std::string& name) {
  t_formatName = strcasecmp(name.c_str(), "JFIF") == 0 ? std::string("JPEG") : name;
  std::lock_guard<std::mutex> g(g_formatLock);
  g_formatName = t_formatName;
}

std::string GetFormatName() {
  std::lock_guard<std::mutex> g(g_formatLock);
  return g_formatName;
}

image::Texture* ReadPicture(const char* path) {
  return path ? Dispatch(path, false, Detail::Full) : ReadClipboard(false);
}

image::Texture* ReadPicturePreview(const char* path) {
  return path ? Dispatch(path, false, Detail::Preview) : ReadClipboard(false);
}

image::Texture* ReadPictureForScan(const char* path) {
  return path ? Dispatch(path, true, Detail::Preview) : ReadClipboard(false);
}

}  // namespace vl::formats
