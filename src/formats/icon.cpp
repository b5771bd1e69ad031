#include "formats/icon.h"

#include <png.h>

#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "formats/decoders.h"
#include "formats/png_decoder.h"
#include "platform/safe_file.h"

namespace vl::formats {

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

// Icons are small; anything larger is not read.
constexpr long kMaxIconBytes = 16L << 20;

bool ReadIconBytes(FILE* f, std::vector<uint8_t>& out) {
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  long size = std::ftell(f);
  if (size < 0 || size > kMaxIconBytes || std::fseek(f, 0, SEEK_SET) != 0) return false;
  out.resize(static_cast<size_t>(size));
  return out.empty() || std::fread(out.data(), 1, out.size(), f) == out.size();
}

bool ReadIconFile(const std::string& path, std::vector<uint8_t>& bytes) {
  FileCloser fc{std::fopen(path.c_str(), "rb")};
  return fc.f && ReadIconBytes(fc.f, bytes);
}

bool IconFromBytes(const std::vector<uint8_t>& bytes, DiskObject& out) {
  PngHead head;
  if (!ReadPngHead(bytes.data(), bytes.size(), static_cast<size_t>(kMaxIconBytes), head)) return false;
  DiskObject obj;
  obj.width = static_cast<int>(head.width);
  obj.height = static_cast<int>(head.height);
  for (const PngTextChunk& t : head.texts) {
    if (t.key == kIconToolTypesKey)
      obj.toolTypes = SplitLines(t.text.data(), t.text.size());
    else if (t.key == kIconDefaultToolKey)
      obj.defaultTool = t.text;
  }
  out = std::move(obj);
  return true;
}

// The icon's pixels through the PNG decoder, as ARGB32 whatever the colour type and depth.
image::ChunkyImage* IconPixels(const std::vector<uint8_t>& bytes) {
  DecodedPicture picture;
  if (!DecodePng(bytes.data(), bytes.size(), picture)) return nullptr;
  image::TexturePtr texture(PictureToTexture(picture, false));
  if (!texture || !texture->chunky) return nullptr;
  image::ChunkyImage* pixels = texture->chunky;
  texture->chunky = nullptr;
  return pixels;
}
}  // namespace

bool GetDiskObject(const std::string& path, DiskObject& out) {
  std::vector<uint8_t> bytes;
  return ReadIconFile(path, bytes) && IconFromBytes(bytes, out);
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
  platform::SafeFile out(path);
  if (!out.file()) return false;
  if (!WritePng(out.file(), obj, argb)) return false;
  return out.Commit();
}

DiskObject* GetDiskObject(const std::string& name) {
  std::vector<uint8_t> bytes;
  DiskObject meta;
  if (!ReadIconFile(name + kIconSuffix, bytes) || !IconFromBytes(bytes, meta)) return nullptr;
  image::ChunkyImage* pixels = IconPixels(bytes);
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

}  // namespace vl::formats
