// Pictures and directory helpers for the batch tool tests.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "formats/png_writer.h"
#include "image/chunky.h"
#include "test_support.h"

namespace vl::tools::testutil {

// Writes a w x h PNG of one opaque colour; true on success.
inline bool WriteSolidPng(const std::string& path, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  image::ChunkyPtr img(image::chk_Create(w, h, image::ARGB32, false));
  if (!img) return false;
  image::Fill(img.get(), r, g, b, 255);
  return formats::SavePNG(img.get(), path.c_str(), true) == 1;
}

// Writes a w x h PNG of noise (large when compressed as JPEG at high quality).
inline bool WriteNoisePng(const std::string& path, int w, int h, uint32_t seed) {
  image::ChunkyPtr img(test::RandomImage(w, h, image::ARGB32, seed));
  return img && formats::SavePNG(img.get(), path.c_str(), false) == 1;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.insert(e->d_name);
    ::closedir(d);
  }
  return out;
}

inline bool IsJpegFile(const std::string& path) {
  std::vector<uint8_t> data = test::ReadFile(path);
  return data.size() > 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

inline bool IsPngFile(const std::string& path) {
  std::vector<uint8_t> data = test::ReadFile(path);
  return data.size() > 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
}

// Open file descriptors of the process (for leak checks of directory handles).
inline size_t OpenDescriptors() {
  return Names("/proc/self/fd").size();
}

}  // namespace vl::tools::testutil
