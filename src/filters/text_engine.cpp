#include "filters/text_engine.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>

#include "image/chunky.h"
#include "platform/paths.h"

namespace vl::filters {

struct TTFont {
  FT_Face face = nullptr;         // null once the engine that opened it has ended
  std::vector<uint8_t> fileData;  // the face reads from this buffer
};

namespace {

struct Engine {
  std::recursive_mutex mu;
  int opens = 0;
  FT_Library library = nullptr;
  std::vector<TTFont*> fonts;  // every font not yet closed
  void (*closeHook)() = nullptr;

  // Ends FreeType; fonts still held become inert so that closing them later is safe.
  void End() {
    for (TTFont* f : fonts) {
      if (f->face) FT_Done_Face(f->face);
      f->face = nullptr;
    }
    if (library) FT_Done_FreeType(library);
    library = nullptr;
  }
  ~Engine() { End(); }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

std::atomic<uint64_t> gFontFileOpens{0};

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool StartsWithFontsAssign(std::string_view name) {
  static constexpr std::string_view kFonts = "FONTS:";
  if (name.size() < kFonts.size()) return false;
  for (size_t i = 0; i < kFonts.size(); ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kFonts[i]) return false;
  }
  return true;
}

// "dir/Times_New_Roman.ttf" -> "Times New Roman".
std::string FamilyFromFileName(std::string_view name) {
  std::string_view base = platform::FilePart(name);
  size_t colon = base.rfind(':');
  if (colon != std::string_view::npos) base = base.substr(colon + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
  std::string family(base);
  std::replace(family.begin(), family.end(), '_', ' ');
  return family;
}

// The file of the installed scalable face closest to a family name, or "". Each lookup loads
// its own configuration and frees it again, so nothing of fontconfig stays behind.
std::string MatchFamily(const std::string& family) {
  if (family.empty() || family.size() > 255) return {};
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return {};
  std::string result;
  if (FcPattern* pattern = FcPatternCreate()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (FcConfigSubstitute(config, pattern, FcMatchPattern)) {
      FcDefaultSubstitute(pattern);
      FcResult status = FcResultNoMatch;
      if (FcPattern* match = FcFontMatch(config, pattern, &status)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
          result = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
      }
    }
    FcPatternDestroy(pattern);
  }
  FcConfigDestroy(config);
  return IsRegularFile(result) ? result : std::string();
}

bool EndsWithTtf(const std::string& file) {
  if (file.size() < 4) return false;
  std::string ext = file.substr(file.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::tolower(ch); });
  return ext == ".ttf";
}

// Reads a whole regular file of at most kMaxFontFileBytes; false for anything else.
bool ReadFontFile(const std::string& path, std::vector<uint8_t>& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxFontFileBytes) {
    try {
      out.resize(static_cast<size_t>(st.st_size));
      size_t done = 0;
      while (done < out.size()) {
        ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      out.resize(done);  // a file that shrank meanwhile is read as far as it goes
      ok = done > 0;
    } catch (const std::bad_alloc&) {
      out.clear();
    }
  }
  ::close(fd);
  return ok;
}

bool ValidUtf8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    uint32_t minimum;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned cc = s[i + k];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// Copies one rendered glyph bitmap into the pixmap at (left, top), clipped; overlapping
// glyphs keep the larger coverage.
void BlitGlyph(const FT_Bitmap& bm, int64_t left, int64_t top, TTPixmap& pm) {
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return;
  if (!bm.buffer) return;
  const int64_t rows = bm.rows, cols = bm.width;
  const int64_t pitch = bm.pitch < 0 ? -static_cast<int64_t>(bm.pitch) : bm.pitch;
  for (int64_t r = 0; r < rows; ++r) {
    int64_t y = top + r;
    if (y < 0 || y >= pm.height) continue;
    const uint8_t* src = bm.pitch >= 0 ? bm.buffer + r * pitch : bm.buffer + (rows - 1 - r) * pitch;
    uint8_t* dst = pm.data.data() + y * pm.width;
    int64_t c0 = std::max<int64_t>(0, -left);
    int64_t c1 = std::min<int64_t>(cols, pm.width - left);
    for (int64_t c = c0; c < c1; ++c) {
      uint8_t v;
      if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
        unsigned g = src[c];
        unsigned levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
        v = levels == 255 ? static_cast<uint8_t>(g) : static_cast<uint8_t>(std::min(255u, g * 255 / levels));
      } else {
        v = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
      }
      uint8_t& d = dst[left + c];
      if (v > d) d = v;
    }
  }
}

}  // namespace

namespace detail {
std::recursive_mutex& TextEngineMutex() {
  return TheEngine().mu;
}
void SetTextEngineCloseHook(void (*hook)()) {
  std::lock_guard<std::recursive_mutex> lock(TheEngine().mu);
  TheEngine().closeHook = hook;
}
}  // namespace detail

bool OpenTextEngine(int minVersion) {
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  if (minVersion > kTextEngineVersion) return false;
  if (e.opens == 0) {
    if (FT_Init_FreeType(&e.library) != 0) {
      e.library = nullptr;
      return false;
    }
  }
  ++e.opens;
  return true;
}

void CloseTextEngine() {
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  if (e.opens == 0) return;
  if (--e.opens > 0) return;
  if (e.closeHook) e.closeHook();
  e.End();
}

bool TextEngineIsOpen() {
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  return e.opens > 0 && e.library;
}

uint64_t TextEngineFontFileOpens() {
  return gFontFileOpens.load();
}

std::string ResolveFontPath(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return {};
  if (!platform::HasAssign(name)) {
    std::string plain(name);
    return IsRegularFile(plain) ? plain : std::string();
  }
  std::string resolved = platform::ResolveForRead(name);
  if (IsRegularFile(resolved)) return resolved;
  if (!StartsWithFontsAssign(name)) return {};
  return MatchFamily(FamilyFromFileName(name.substr(6)));
}

TTFont* TT_OpenFontA(std::string_view name, int size) {
  if (size < 1 || size > kMaxFontPixelSize) return nullptr;
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  if (e.opens == 0 || !e.library) return nullptr;
  std::string path = ResolveFontPath(name);
  if (path.empty()) return nullptr;
  std::unique_ptr<TTFont> font;
  try {
    font = std::make_unique<TTFont>();
    e.fonts.reserve(e.fonts.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!ReadFontFile(path, font->fileData)) return nullptr;
  ++gFontFileOpens;
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(e.library, font->fileData.data(), static_cast<FT_Long>(font->fileData.size()), 0, &face) != 0)
    return nullptr;
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  font->face = face;
  e.fonts.push_back(font.get());
  return font.release();
}

void TT_CloseFont(TTFont* font) {
  if (!font) return;
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  if (font->face) FT_Done_Face(font->face);
  e.fonts.erase(std::remove(e.fonts.begin(), e.fonts.end(), font), e.fonts.end());
  std::unique_ptr<TTFont> owned(font);
}

std::vector<uint32_t> DecodeTextLine(const char* text, size_t length) {
  std::vector<uint32_t> out;
  if (!text || length == 0) return out;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  out.reserve(length);
  if (!ValidUtf8(s, length)) {
    for (size_t i = 0; i < length; ++i) out.push_back(s[i]);
    return out;
  }
  size_t i = 0;
  while (i < length) {
    unsigned c = s[i];
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

TTPixmap* TT_GetPixmapA(TTFont* font, const char* text, size_t length) {
  Engine& e = TheEngine();
  std::lock_guard<std::recursive_mutex> lock(e.mu);
  if (!font || !font->face || !text || length == 0) return nullptr;
  std::vector<uint32_t> codes;
  try {
    codes = DecodeTextLine(text, length);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (codes.empty()) return nullptr;

  FT_Face face = font->face;
  int64_t ascender = face->size->metrics.ascender;    // 26.6, up from the baseline
  int64_t descender = face->size->metrics.descender;  // 26.6, negative below it
  // Some faces give the capital height as their ascender (accents above capitals would be
  // cut); their Windows ascent and descent bound every glyph, so take the larger of both.
  if (FT_IS_SCALABLE(face)) {
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
      if (os2->version != 0xFFFF) {
        const FT_Long scale = face->size->metrics.y_scale;
        ascender = std::max<int64_t>(ascender, FT_MulFix(os2->usWinAscent, scale));
        descender = std::min<int64_t>(descender, -static_cast<int64_t>(FT_MulFix(os2->usWinDescent, scale)));
      }
    }
  }
  const int64_t above = std::max<int64_t>(0, (ascender + 63) >> 6);
  const int64_t below = std::max<int64_t>(0, -(descender >> 6));
  const int64_t height = above + below;
  if (height <= 0 || height > image::kMaxPixels) return nullptr;
  const int64_t maxWidth = image::kMaxPixels / height;
  const bool kerning = FT_HAS_KERNING(face);

  // First pass: lay out the pen and find the horizontal extent of every glyph's ink.
  int64_t minX = 0, maxX = 0;
  int64_t pen = 0;  // 26.6
  FT_UInt previous = 0;
  for (uint32_t code : codes) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (kerning && previous && index) {
      FT_Vector delta;
      if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &delta) == 0) pen += delta.x;
    }
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    const int64_t penX = pen >> 6;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      FT_BBox box;
      FT_Outline_Get_CBox(&slot->outline, &box);
      if (box.xMax > box.xMin) {
        minX = std::min<int64_t>(minX, penX + (box.xMin >> 6));
        maxX = std::max<int64_t>(maxX, penX + ((box.xMax + 63) >> 6));
      }
    } else if (slot->format == FT_GLYPH_FORMAT_BITMAP) {
      minX = std::min<int64_t>(minX, penX + slot->bitmap_left);
      maxX = std::max<int64_t>(maxX, penX + slot->bitmap_left + static_cast<int64_t>(slot->bitmap.width));
    }
    pen += slot->advance.x;
    maxX = std::max<int64_t>(maxX, (pen + 63) >> 6);
    if (maxX - minX > maxWidth) return nullptr;
  }
  const int64_t width = maxX - minX;
  if (width <= 0) return nullptr;

  std::unique_ptr<TTPixmap> pm;
  try {
    pm = std::make_unique<TTPixmap>();
    pm->data.assign(static_cast<size_t>(width * height), 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  pm->width = static_cast<int>(width);
  pm->height = static_cast<int>(height);

  // Second pass: render each glyph at its pen position.
  pen = 0;
  previous = 0;
  for (uint32_t code : codes) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (kerning && previous && index) {
      FT_Vector delta;
      if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &delta) == 0) pen += delta.x;
    }
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    const int64_t penX = pen >> 6;
    pen += slot->advance.x;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) continue;
    BlitGlyph(slot->bitmap, penX + slot->bitmap_left - minX, above - slot->bitmap_top, *pm);
  }
  return pm.release();
}

void TT_FreePixmap(TTPixmap* pixmap) {
  std::unique_ptr<TTPixmap> owned(pixmap);
}

std::vector<InstalledFont> InstalledFonts() {
  std::vector<InstalledFont> fonts;
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return fonts;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, nullptr);
  if (pattern && objects) {
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (FcFontSet* set = FcFontList(config, pattern, objects)) {
      for (int i = 0; i < set->nfont; ++i) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch || !file) continue;
        InstalledFont font;
        font.file = reinterpret_cast<const char*>(file);
        if (!EndsWithTtf(font.file)) continue;
        FcChar8* family = nullptr;
        FcChar8* style = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family)
          font.name = reinterpret_cast<const char*>(family);
        if (FcPatternGetString(set->fonts[i], FC_STYLE, 0, &style) == FcResultMatch && style)
          font.name += (font.name.empty() ? "" : " ") + std::string(reinterpret_cast<const char*>(style));
        if (font.name.empty()) font.name = font.file;
        fonts.push_back(std::move(font));
      }
      FcFontSetDestroy(set);
    }
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  std::sort(fonts.begin(), fonts.end(), [](const InstalledFont& a, const InstalledFont& b) {
    return a.name != b.name ? a.name < b.name : a.file < b.file;
  });
  fonts.erase(std::unique(fonts.begin(), fonts.end(),
                          [](const InstalledFont& a, const InstalledFont& b) { return a.file == b.file; }),
              fonts.end());
  return fonts;
}

}  // namespace vl::filters
