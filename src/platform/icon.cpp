#include "platform/icon.h"

#include <png.h>
#include <unistd.h>

#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/safe_file.h"

namespace vl::platform {

bool FindToolType(const std::vector<std::string>& toolTypes, std::string_view name, std::string* value) {
  for (const auto& t : toolTypes) {
    if (t.size() < name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(t[i])) == std::toupper(static_cast<unsigned char>(name[i]));
    if (!same) continue;
    if (t.size() == name.size()) {
      if (value) value->clear();
      return true;
    }
    if (t[name.size()] == '=') {
      if (value) *value = t.substr(name.size() + 1);
      return true;
    }
  }
  return false;
}

namespace {
struct FileCloser {
  FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

std::vector<std::string> SplitLines(const char* text, size_t len) {
  std::vector<std::string> out;
  std::string cur;
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == '\n') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += text[i];
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}
}  // namespace

bool GetDiskObject(const std::string& path, DiskObject& out) {
  FileCloser fc{std::fopen(path.c_str(), "rb")};
  if (!fc.f) return false;
  unsigned char sig[8];
  if (std::fread(sig, 1, 8, fc.f) != 8 || png_sig_cmp(sig, 0, 8) != 0) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return false;
  }
  png_init_io(png, fc.f);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  DiskObject obj;
  obj.width = static_cast<int>(png_get_image_width(png, info));
  obj.height = static_cast<int>(png_get_image_height(png, info));
  png_textp text = nullptr;
  int n = 0;
  png_get_text(png, info, &text, &n);
  for (int i = 0; i < n; ++i) {
    if (std::strcmp(text[i].key, kIconToolTypesKey) == 0)
      obj.toolTypes = SplitLines(text[i].text, text[i].text_length);
    else if (std::strcmp(text[i].key, kIconDefaultToolKey) == 0)
      obj.defaultTool.assign(text[i].text, text[i].text_length);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  out = std::move(obj);
  return true;
}

namespace {
bool WritePng(FILE* f, const DiskObject& obj, const image::ChunkyImage* argb) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(static_cast<size_t>(argb->width) * 4);
  std::string tools;
  for (const auto& t : obj.toolTypes) tools += t + "\n";
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(argb->width), static_cast<png_uint_32>(argb->height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_text texts[2];
  std::memset(texts, 0, sizeof texts);
  int nt = 0;
  texts[nt].compression = PNG_TEXT_COMPRESSION_NONE;
  texts[nt].key = const_cast<char*>(kIconToolTypesKey);
  texts[nt].text = const_cast<char*>(tools.c_str());
  ++nt;
  if (!obj.defaultTool.empty()) {
    texts[nt].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[nt].key = const_cast<char*>(kIconDefaultToolKey);
    texts[nt].text = const_cast<char*>(obj.defaultTool.c_str());
    ++nt;
  }
  png_set_text(png, info, texts, nt);
  png_write_info(png, info);
  for (int y = 0; y < argb->height; ++y) {
    const uint8_t* src = argb->pixels + static_cast<size_t>(y) * argb->width * 4;
    for (int x = 0; x < argb->width; ++x) {
      row[x * 4] = src[x * 4 + 1];
      row[x * 4 + 1] = src[x * 4 + 2];
      row[x * 4 + 2] = src[x * 4 + 3];
      row[x * 4 + 3] = src[x * 4];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
}  // namespace

bool PutDiskObject(const std::string& path, const DiskObject& obj, const image::ChunkyImage* argb) {
  if (!argb || argb->format != image::ARGB32 || argb->width <= 0 || argb->height <= 0) return false;
  SafeFile out(path);
  if (!out.file()) return false;
  if (!WritePng(out.file(), obj, argb)) return false;
  return out.Commit();
}

namespace {
// The icon's pixels through libpng's simplified reader, which turns every colour type and
// depth into 8-bit A, R, G, B bytes: the ARGB32 layout.
image::ChunkyImage* ReadIconPixels(const std::string& path) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return nullptr;
  if (!image::SizeAllowed(png.width, png.height, image::ARGB32)) {
    png_image_free(&png);
    return nullptr;
  }
  png.format = PNG_FORMAT_ARGB;
  image::ChunkyImage* pixels =
      image::chk_Create(static_cast<int32_t>(png.width), static_cast<int32_t>(png.height), image::ARGB32, false);
  if (!pixels) {
    png_image_free(&png);
    return nullptr;
  }
  if (!png_image_finish_read(&png, nullptr, pixels->pixels, 0, nullptr)) {
    png_image_free(&png);
    image::chk_Free(pixels);
    return nullptr;
  }
  return pixels;
}
}  // namespace

DiskObject* GetDiskObject(const std::string& name) {
  const std::string path = name + kIconSuffix;
  DiskObject meta;
  if (!GetDiskObject(path, meta)) return nullptr;
  image::ChunkyImage* pixels = ReadIconPixels(path);
  if (!pixels) return nullptr;
  auto icon = std::make_unique<DiskObject>(std::move(meta));
  icon->image = std::shared_ptr<image::ChunkyImage>(pixels, image::ChunkyDeleter{});
  return icon.release();
}

bool PutDiskObject(const std::string& name, const DiskObject* icon) {
  if (!icon || !icon->image) return false;
  return PutDiskObject(name + kIconSuffix, *icon, icon->image.get());
}

void FreeDiskObject(DiskObject* icon) {
  std::unique_ptr<DiskObject> owned(icon);
}

}  // namespace vl::platform
