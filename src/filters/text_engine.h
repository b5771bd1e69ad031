// The TrueType engine: FreeType renders one line of text into an anti-aliased 8-bit coverage
// pixmap, and fontconfig stands in when a font under FONTS: is missing.
//
// The engine is opened and closed like a shared library: OpenTextEngine() counts the
// openings, the first one initialises FreeType, and the last CloseTextEngine() drops the
// cached font of RenderText (text.h) and ends FreeType. Fonts and pixmaps must not be used
// after the engine that made them is closed.
//
// Font names: a name with an assign ("FONTS:_truetype/Arial.ttf") goes through the assign
// resolver; when a FONTS: name does not exist, fontconfig picks the closest family to the
// file's base name ("Arial" gives a metric-compatible sans face where one is installed).
// A plain path is used as it is and must exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vl::filters {

// The version the engine reports; openings that ask for a newer one fail.
inline constexpr int kTextEngineVersion = 7;
// Largest pixel size a font is opened at.
inline constexpr int kMaxFontPixelSize = 8192;
// Largest font file read.
inline constexpr int64_t kMaxFontFileBytes = int64_t{256} << 20;

// True when the engine is open afterwards (false for a version above kTextEngineVersion or
// when FreeType cannot start). Each successful opening needs one CloseTextEngine().
bool OpenTextEngine(int minVersion);
void CloseTextEngine();
bool TextEngineIsOpen();

// Keeps one opening of the engine for a scope.
class TextEngineScope {
 public:
  explicit TextEngineScope(int minVersion) : open_(OpenTextEngine(minVersion)) {}
  ~TextEngineScope() {
    if (open_) CloseTextEngine();
  }
  TextEngineScope(const TextEngineScope&) = delete;
  TextEngineScope& operator=(const TextEngineScope&) = delete;
  bool ok() const { return open_; }

 private:
  bool open_;
};

// The file a font name stands for, or the empty text when there is none (see above).
std::string ResolveFontPath(std::string_view name);

// An installed TrueType font: its family and style as fontconfig names them, and its file.
struct InstalledFont {
  std::string name;
  std::string file;
};
// The TrueType (.ttf) fonts fontconfig knows, sorted by name, each file once. Empty when
// fontconfig cannot load its configuration.
std::vector<InstalledFont> InstalledFonts();

// Number of font files the engine has read since the process started.
uint64_t TextEngineFontFileOpens();

struct TTFont;
struct TTPixmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> data;  // width x height coverage bytes, rows top to bottom
};

// Opens the font a name stands for at a pixel size (1 .. kMaxFontPixelSize); null when the
// engine is closed, the name resolves to no readable font file, or FreeType refuses it.
TTFont* TT_OpenFontA(std::string_view name, int size);
void TT_CloseFont(TTFont* font);

// Renders text (length bytes; UTF-8, or Latin-1 when it is not valid UTF-8) with kerning.
// The pixmap's height runs from the face's ascender to its descender (the larger of the
// line metrics and the Windows ascent and descent), the same for every text, so lines
// share a baseline; its width covers the pen advance and every glyph's ink. Null when there is nothing to draw (no
// text), when the pixmap would exceed the image size limits, or when memory runs out.
TTPixmap* TT_GetPixmapA(TTFont* font, const char* text, size_t length);
void TT_FreePixmap(TTPixmap* pixmap);

struct TTFontDeleter {
  void operator()(TTFont* f) const { TT_CloseFont(f); }
};
struct TTPixmapDeleter {
  void operator()(TTPixmap* p) const { TT_FreePixmap(p); }
};
using TTFontPtr = std::unique_ptr<TTFont, TTFontDeleter>;
using TTPixmapPtr = std::unique_ptr<TTPixmap, TTPixmapDeleter>;

// Decodes text to code points: UTF-8 when the whole text is valid UTF-8 (no overlong forms,
// surrogates or values above U+10FFFF), otherwise one code point per byte (Latin-1).
std::vector<uint32_t> DecodeTextLine(const char* text, size_t length);

namespace detail {
// The engine's lock (recursive); every engine call takes it. Code that keeps engine objects
// between calls (the font cache) holds it while it uses them.
std::recursive_mutex& TextEngineMutex();
// Called with the lock held when the last opening closes, before FreeType ends.
void SetTextEngineCloseHook(void (*hook)());
}  // namespace detail

}  // namespace vl::filters
