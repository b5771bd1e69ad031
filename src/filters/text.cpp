#include "filters/text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "filters/box_blur.h"
#include "filters/gaussian_blur.h"
#include "filters/text_engine.h"
#include "image/geometry.h"

namespace vl::filters {
namespace {

static_assert(kMaxTextSmoothness <= kMaxGaussianRadius, "every shadow smoothness must be a radius the blur takes");

// The one open font of RenderText, with the path and size it was opened for. Guarded by the
// engine's lock, and dropped when the engine closes.
struct FontCache {
  TTFontPtr font;
  std::string path;
  int size = 0;
  bool hooked = false;
};

FontCache& Cache() {
  static FontCache cache;
  return cache;
}

std::string& Status() {
  static std::string status;
  return status;
}

void DropFontCache() {
  FontCache& c = Cache();
  c.font.reset();
  c.path.clear();
  c.size = 0;
}

int Fail(const char* status) {
  Status() = status;
  return 1;
}

int ClampToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool IsCoverage(const image::Texture* t) {
  return t && t->chunky && t->chunky->pixels && image::BytesPerPixel(t->chunky) == 1 && t->chunky->width > 0 &&
         t->chunky->height > 0;
}

// Visits every pixel of a coverage image placed with its top-left corner at (left, top) that
// falls inside dst, calling blend(destination pixel, coverage).
template <typename Blend>
void ForEachCovered(image::ChunkyImage* dst, const image::ChunkyImage* cover, int64_t left, int64_t top, Blend blend) {
  const int64_t dw = dst->width, dh = dst->height;
  const int64_t cw = cover->width, ch = cover->height;
  const int64_t i0 = std::max<int64_t>(0, -left), i1 = std::min<int64_t>(cw, dw - left);
  const int64_t j0 = std::max<int64_t>(0, -top), j1 = std::min<int64_t>(ch, dh - top);
  for (int64_t j = j0; j < j1; ++j) {
    const uint8_t* src = cover->pixels + j * cw;
    uint8_t* out = dst->pixels + ((top + j) * dw + left + i0) * 4;
    for (int64_t i = i0; i < i1; ++i, out += 4) blend(out, static_cast<int32_t>(src[i]));
  }
}

}  // namespace

std::string TextStatus() {
  std::lock_guard<std::recursive_mutex> lock(detail::TextEngineMutex());
  return Status();
}

int RenderText(std::string_view text, std::string_view fontPath, int size, int direction, int smoothness, bool gaussian,
               image::TexturePtr& textImage, image::TexturePtr& shadowImage) {
  textImage.reset();
  shadowImage.reset();
  std::lock_guard<std::recursive_mutex> lock(detail::TextEngineMutex());
  if (!TextEngineIsOpen()) return Fail(kTextStatusNoEngine);

  FontCache& cache = Cache();
  if (!cache.hooked) {
    detail::SetTextEngineCloseHook(&DropFontCache);
    cache.hooked = true;
  }
  if (!cache.font || cache.path != fontPath || cache.size != size) {
    cache.font.reset();
    cache.path.assign(fontPath);
    cache.size = size;
    cache.font.reset(TT_OpenFontA(fontPath, size));
  }
  if (!cache.font) return Fail(kTextStatusNoFont);

  TTPixmapPtr pixmap(TT_GetPixmapA(cache.font.get(), text.data(), text.size()));
  if (!pixmap || pixmap->width == 0) return Fail("");

  image::TexturePtr glyphs(image::CreateTexture(pixmap->width, pixmap->height, image::GREY8));
  if (!glyphs) return Fail(kTextStatusNoMemory);
  std::memcpy(glyphs->chunky->pixels, pixmap->data.data(), static_cast<size_t>(pixmap->width) * pixmap->height);
  pixmap.reset();

  if (direction == kTextTopToBottom || direction == kTextBottomToTop) {
    image::ChunkyPtr turned(direction == kTextTopToBottom ? image::RotateClockwise(glyphs->chunky)
                                                          : image::RotateCounterClockwise(glyphs->chunky));
    if (turned) {  // a failed turn leaves the text horizontal
      image::chk_Free(glyphs->chunky);
      glyphs->chunky = turned.release();
    }
  }

  const int64_t w = glyphs->chunky->width, h = glyphs->chunky->height;
  const int blur = std::clamp(smoothness, 0, kMaxTextSmoothness);
  const int64_t pad = gaussian ? 2 * blur : blur;
  const int64_t sw = w + 2 * pad, sh = h + 2 * pad;
  if (!image::SizeAllowed(sw, sh, image::GREY8)) return Fail(kTextStatusNoMemory);
  image::TexturePtr shadow(
      image::CreateTextureZeroed(static_cast<int32_t>(sw), static_cast<int32_t>(sh), image::GREY8));
  if (!shadow) return Fail(kTextStatusNoMemory);
  for (int64_t row = 0; row < h; ++row)
    std::memcpy(shadow->chunky->pixels + (row + pad) * sw + pad, glyphs->chunky->pixels + row * w,
                static_cast<size_t>(w));
  // A blur that found no work memory leaves a hard-edged shadow: no shadow to draw.
  const bool blurred = gaussian ? GaussianBlur(shadow->chunky, static_cast<float>(blur), kAlphaOnly)
                                : BoxBlur(shadow->chunky, shadow->chunky, blur, blur);
  if (!blurred) return Fail(kTextStatusNoMemory);

  textImage = std::move(glyphs);
  shadowImage = std::move(shadow);
  Status() = kTextStatusOK;
  return 0;
}

void CompositeText(image::Texture* image, const image::Texture* textImage, const image::Texture* shadowImage, int x,
                   int y, uint32_t color, bool shadowEnabled, int shadowX, int shadowY, int /*smoothness*/,
                   uint32_t shadowColor, int intensity) {
  if (!IsCoverage(textImage) || !IsCoverage(shadowImage)) return;
  if (!image || !image->chunky || !image->chunky->pixels || image->chunky->format != image::ARGB32) return;
  image::ChunkyImage* dst = image->chunky;
  const image::ChunkyImage* text = textImage->chunky;
  const image::ChunkyImage* shade = shadowImage->chunky;

  const int32_t tA = static_cast<int32_t>((color >> 24) & 0xFF);
  const int32_t tR = static_cast<int32_t>((color >> 16) & 0xFF);
  const int32_t tG = static_cast<int32_t>((color >> 8) & 0xFF);
  const int32_t tB = static_cast<int32_t>(color & 0xFF);
  const int32_t sR = static_cast<int32_t>((shadowColor >> 16) & 0xFF);
  const int32_t sG = static_cast<int32_t>((shadowColor >> 8) & 0xFF);
  const int32_t sB = static_cast<int32_t>(shadowColor & 0xFF);

  // Signed products shifted arithmetically: a negative difference rounds toward minus infinity.
  if (shadowEnabled) {
    const int64_t pad = (static_cast<int64_t>(shade->height) - text->height) / 2;
    const int64_t strength = std::max(intensity, 0);
    ForEachCovered(dst, shade, int64_t{x} - pad + shadowX, int64_t{y} - pad + shadowY, [&](uint8_t* p, int32_t v) {
      int64_t scaled = (v * strength) >> 8;
      if (scaled == 0) return;
      const int32_t a = static_cast<int32_t>(std::min<int64_t>(scaled, 255));
      const int32_t t = (a * tA) >> 8;
      p[0] = static_cast<uint8_t>(std::min(p[0] + t, 255));
      p[1] = static_cast<uint8_t>(p[1] + (((sR - p[1]) * t) >> 8));
      p[2] = static_cast<uint8_t>(p[2] + (((sG - p[2]) * t) >> 8));
      p[3] = static_cast<uint8_t>(p[3] + (((sB - p[3]) * t) >> 8));
    });
  }
  ForEachCovered(dst, text, x, y, [&](uint8_t* p, int32_t v) {
    const int32_t a = (v * tA) >> 8;
    if (a == 0) return;
    p[0] = static_cast<uint8_t>(std::min(p[0] + a, 255));
    p[1] = static_cast<uint8_t>(p[1] + (((tR - p[1]) * a) >> 8));
    p[2] = static_cast<uint8_t>(p[2] + (((tG - p[2]) * a) >> 8));
    p[3] = static_cast<uint8_t>(p[3] + (((tB - p[3]) * a) >> 8));
  });
}

uint32_t ToolTextColor(int alphaPercent, uint32_t textColor) {
  const uint32_t alpha = static_cast<uint32_t>(std::clamp(alphaPercent, 0, 100) * 255 / 100);
  return alpha << 24 | (textColor & 0x00FFFFFFu);
}

uint32_t ToolShadowColor(uint32_t shadowColor) {
  return 0xFF000000u | (shadowColor & 0x00FFFFFFu);
}

int ToolShadowIntensity(int intensityPercent) {
  return std::clamp(intensityPercent, 0, 100) * 255 / 100;
}

void PlaceText(int origin, int imageWidth, int imageHeight, int textWidth, int textHeight, int& x, int& y) {
  if (origin == kOriginRightTop || origin == kOriginRightBottom) x = ClampToInt(int64_t{imageWidth} - textWidth - x);
  if (origin == kOriginLeftBottom || origin == kOriginRightBottom)
    y = ClampToInt(int64_t{imageHeight} - textHeight - y);
}

int ApplyInsertText(image::Texture* image, const InsertTextParams& params) {
  if (!image || !image->chunky || image->chunky->format != image::ARGB32) return 1;
  std::lock_guard<std::recursive_mutex> lock(detail::TextEngineMutex());
  TextEngineScope engine(6);
  if (!engine.ok()) return Fail(kTextStatusNoEngine);
  image::TexturePtr text, shadow;
  if (RenderText(params.text, params.font, params.size, params.direction, params.smoothness, params.gaussian, text,
                 shadow) != 0)
    return 1;
  int x = params.x, y = params.y;
  PlaceText(params.origin, image->chunky->width, image->chunky->height, text->chunky->width, text->chunky->height, x,
            y);
  CompositeText(image, text.get(), shadow.get(), x, y, params.color, params.shadow, params.shadowX, params.shadowY,
                params.smoothness, params.shadowColor, params.intensity);
  return 0;
}

}  // namespace vl::filters
