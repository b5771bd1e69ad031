// Text insertion: RenderText turns a text line, a TrueType font and a pixel size into a GREY8
// coverage image and a larger, blurred copy of it for the shadow; CompositeText blends both
// into an ARGB32 image. The "Insert Text" tool window and the "InsertText" script command
// share them; ApplyInsertText is the whole render-place-draw step of the command.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/chunky.h"

namespace vl::filters {

enum TextDirection : int {
  kTextHorizontal = 0,
  kTextTopToBottom = 1,
  kTextBottomToTop = 2,
};

inline constexpr char kDefaultTextFont[] = "FONTS:_truetype/Arial.ttf";
inline constexpr int kDefaultTextSize = 40;

// Status texts of RenderText (the empty text means there was nothing to draw).
inline constexpr char kTextStatusOK[] = "OK";
inline constexpr char kTextStatusNoMemory[] = "Not enough memory";
inline constexpr char kTextStatusNoFont[] = "Couldn't open selected font";
inline constexpr char kTextStatusNoEngine[] = "ttengine.library is not available.";

// What the tool window says when the engine cannot be opened.
inline constexpr char kTextEngineNeededText[] =
    "This function needs ttengine.library V7\nwhich is not installed on this system.";

// Shadow smoothness is limited to 0 .. kMaxTextSmoothness (the tool window offers 0 .. 10).
inline constexpr int kMaxTextSmoothness = 100;

// Renders text (its bytes; UTF-8 or else Latin-1) in the font at fontPath and size pixels.
// Direction 1 turns the text image clockwise, 2 counter-clockwise. The shadow image is the
// text image centred in a zero border of pad = smoothness (2 x smoothness with gaussian)
// on every side, blurred with a Gaussian (radius smoothness) or a box blur (radii
// smoothness). Needs the engine open (text_engine.h). The font stays open between calls
// while path (compared exactly) and size stay the same. 0 on success with both images set;
// 1 on failure with both null. Either way sets TextStatus().
int RenderText(std::string_view text, std::string_view fontPath, int size, int direction, int smoothness, bool gaussian,
               image::TexturePtr& textImage, image::TexturePtr& shadowImage);

// The outcome of the last RenderText: one of the status texts above, or "".
std::string TextStatus();

// Blends the shadow (when shadowEnabled) and then the text into the ARGB32 image in place,
// with the text image's top-left corner at (x, y) and the shadow's centred under it and
// moved by (shadowX, shadowY). color is 0xAARRGGBB; its alpha weights text and shadow.
// shadowColor's alpha is not used. intensity 0 .. 255 scales the shadow (higher values
// strengthen it up to full coverage; negative ones count as 0). smoothness is not used.
// Pixels outside the image are skipped; missing images or wrong formats draw nothing.
void CompositeText(image::Texture* image, const image::Texture* textImage, const image::Texture* shadowImage, int x,
                   int y, uint32_t color, bool shadowEnabled, int shadowX, int shadowY, int smoothness,
                   uint32_t shadowColor, int intensity);

// The tool window's conversions of its gadgets: alpha and intensity in percent (0 .. 100).
uint32_t ToolTextColor(int alphaPercent, uint32_t textColor);  // (alpha x 255 / 100) << 24 | RGB
uint32_t ToolShadowColor(uint32_t shadowColor);                // 0xFF << 24 | RGB
int ToolShadowIntensity(int intensityPercent);                 // intensity x 255 / 100

// Which corner of the image the position counts from.
enum TextOrigin : int {
  kOriginLeftTop = 0,
  kOriginRightTop = 1,
  kOriginLeftBottom = 2,
  kOriginRightBottom = 3,
};

// The text image's top-left corner for a position counted from an origin: from the right,
// x = image width - text width - x; from the bottom, y = image height - text height - y.
// Results beyond the 32-bit range are held at its ends.
void PlaceText(int origin, int imageWidth, int imageHeight, int textWidth, int textHeight, int& x, int& y);

struct InsertTextParams {
  std::string text;
  std::string font = kDefaultTextFont;
  int size = kDefaultTextSize;
  int direction = kTextHorizontal;
  int origin = kOriginLeftTop;
  int x = 0;
  int y = 0;
  uint32_t color = 0xFF000000u;  // 0xAARRGGBB; alpha weights everything
  bool shadow = false;
  int shadowX = 0;
  int shadowY = 0;
  int smoothness = 0;
  bool gaussian = false;
  uint32_t shadowColor = 0xFF000000u;
  int intensity = 255;  // 0 .. 255
};

// Opens the engine for the call, renders the text, places it by its origin and draws it into
// the ARGB32 image in place. 0 when the text was drawn; 1 without an image, when the engine
// is missing or when RenderText fails (the image is then untouched; TextStatus() says why).
int ApplyInsertText(image::Texture* image, const InsertTextParams& params);

}  // namespace vl::filters
