#include "formats/loader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <mutex>
#include <vector>

namespace vl::formats {
namespace {
std::mutex g_formatLock;
std::string g_formatName;
}  // namespace

void SetFormatName(const std::string& name) {
  std::lock_guard<std::mutex> g(g_formatLock);
  g_formatName = name;
}

std::string GetFormatName() {
  std::lock_guard<std::mutex> g(g_formatLock);
  return g_formatName;
}

namespace {

struct PngFile {
  FILE* f = nullptr;
  ~PngFile() {
    if (f) std::fclose(f);
  }
};

image::Texture* ReadPngFile(const char* path) {
  PngFile file;
  file.f = std::fopen(path, "rb");
  if (!file.f) return nullptr;
  unsigned char sig[8];
  if (std::fread(sig, 1, 8, file.f) != 8 || png_sig_cmp(sig, 0, 8) != 0) return nullptr;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  image::Texture* volatile tex = nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    image::FreeTexture(tex);
    return nullptr;
  }
  png_init_io(png, file.f);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, 1u << 20, 1u << 20);
  png_read_info(png, info);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (!image::SizeAllowed(w, h, image::ARGB32)) png_error(png, "too large");
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  tex = image::CreateTexture(static_cast<int32_t>(w), static_cast<int32_t>(h), image::ARGB32);
  if (!tex) png_error(png, "no memory");
  {
    uint8_t* px = tex->chunky->pixels;
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = px + static_cast<size_t>(y) * w * 4;
    png_read_image(png, rows.data());
    // RGBA -> ARGB
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
      uint8_t* p = px + i * 4;
      uint8_t a = p[3];
      p[3] = p[2], p[2] = p[1], p[1] = p[0], p[0] = a;
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return tex;
}

}  // namespace

image::Texture* ReadPicture(const char* path) {
  if (!path) {
    std::fputs("Failed!\n", stdout);
    return nullptr;
  }
  image::Texture* t = ReadPngFile(path);
  if (!t) return nullptr;
  SetFormatName("PNG");
  t->name = path;
  t->formatName = GetFormatName();
  return t;
}

}  // namespace vl::formats
