// A stand-in for the JPEG routines in the cache tests: files hold "VLRAW", the width and
// height as decimal text and the RGB bytes, so a stored picture can be compared exactly.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "image/chunky.h"
#include "thumbs/cache.h"

namespace vl::thumbs::testcodec {

inline std::atomic<int> gLastQuality{-1};
inline std::atomic<bool> gFailSave{false};

inline int Save(const image::ChunkyImage* img, const char* path, int quality, bool optimize, bool noSubsampling) {
  gLastQuality = quality;
  if (optimize || noSubsampling) return 0;  // the cache always asks for plain coding
  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  std::fprintf(f, "VLRAW %d %d\n", img->width, img->height);
  if (gFailSave) {  // a partial file, as a failing encoder leaves it
    std::fclose(f);
    return 0;
  }
  for (int y = 0; y < img->height; ++y) {
    for (int x = 0; x < img->width; ++x) {
      uint8_t a = 255, r = 0, g = 0, b = 0;
      image::GetPixel(img, x, y, a, r, g, b);
      std::fputc(r, f);
      std::fputc(g, f);
      std::fputc(b, f);
    }
  }
  return std::fclose(f) == 0 ? 1 : 0;
}

inline image::Texture* Read(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  int w = 0, h = 0;
  if (std::fscanf(f, "VLRAW %d %d", &w, &h) != 2 || std::fgetc(f) != '\n' || !image::SizeAllowed(w, h, image::RGB24)) {
    std::fclose(f);
    return nullptr;
  }
  image::Texture* t = image::CreateTexture(w, h, image::RGB24);
  if (!t) {
    std::fclose(f);
    return nullptr;
  }
  size_t n = image::BufferBytes(w, h, image::RGB24);
  size_t got = std::fread(t->chunky->pixels, 1, n, f);
  std::fclose(f);
  if (got != n) {
    image::FreeTexture(t);
    return nullptr;
  }
  return t;
}

inline CacheCodec Codec() {
  CacheCodec c;
  c.saveJpeg = Save;
  c.readJpeg = Read;
  return c;
}

}  // namespace vl::thumbs::testcodec
