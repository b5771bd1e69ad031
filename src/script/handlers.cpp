#include "script/handlers.h"

#include <cstdio>
#include <cstring>

#include "app/apply_steps.h"
#include "filters/text.h"
#include "filters/tone.h"
#include "formats/ilbm_writer.h"
#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "platform/paths.h"

namespace vl::script {
namespace {

// Values used when a script leaves a slot out.
constexpr int kDefaultJpegQuality = 95;
constexpr int kDefaultScaleMethod = 5;  // lanczos
constexpr int kDefaultChannelMode = 3;  // color
// The command has no argument for the shadow's blur: scripts get the Gaussian one.
constexpr bool kScriptShadowIsGaussian = true;

int Lookup(const char* text, const char* const* words, const int* values, size_t n) {
  if (!text) return -1;
  for (size_t i = 0; i < n; ++i)
    if (std::strcmp(text, words[i]) == 0) return values[i];
  return -1;
}

image::ChunkyImage* Current(app::Controller& c) {
  image::Texture* t = c.currentImage();
  return t ? t->chunky : nullptr;
}

// An assign-prefixed name ("T:out.jpg") as a Linux path.
std::string SavePath(const char* file) {
  return platform::ResolvePath(file);
}

}  // namespace

int ScaleMethodKeyword(const char* text) {
  static const char* const words[] = {"box", "triangle", "bell", "spline", "lanczos", "mitchell"};
  static const int values[] = {0, 1, 2, 3, 5, 6};
  return Lookup(text, words, values, 6);
}

int ChannelModeKeyword(const char* text) {
  static const char* const words[] = {"alpha", "color", "coloralpha"};
  static const int values[] = {1, 3, 4};
  return Lookup(text, words, values, 3);
}

int SelectiveModeKeyword(const char* text) {
  static const char* const words[] = {"alpha", "color"};
  static const int values[] = {1, 3};
  return Lookup(text, words, values, 2);
}

int TextDirectionKeyword(const char* text) {
  static const char* const words[] = {"topbottom", "bottomtop"};
  static const int values[] = {1, 2};
  int v = Lookup(text, words, values, 2);
  return v < 0 ? 0 : v;
}

int TextOriginKeyword(const char* text) {
  static const char* const words[] = {"lefttop", "righttop", "leftbottom", "rightbottom"};
  static const int values[] = {0, 1, 2, 3};
  int v = Lookup(text, words, values, 4);
  return v < 0 ? 0 : v;
}

void InstallHandlers(CommandPort& port, app::Controller& ctl) {
  app::Controller* c = &ctl;

  port.SetHandler("Load", [c](const Args& a) { return Answer(c->OpenPicture(a.Text(0))); });
  port.SetHandler("LoadNext", [c](const Args&) { return Answer(c->LoadNext() ? 1 : 0); });
  port.SetHandler("LoadPrevious", [c](const Args&) { return Answer(c->LoadPrevious() ? 1 : 0); });
  port.SetHandler("ChangeDirectory", [c](const Args& a) {
    if (!a.Text(0)) return Answer(1);
    c->ChangeDirectory(platform::ResolvePath(a.Text(0)));
    return Answer(0);
  });
  port.SetHandler("ImageWidth", [c](const Args&) { return Answer(Current(*c) ? Current(*c)->width : 0); });
  port.SetHandler("ImageHeight", [c](const Args&) { return Answer(Current(*c) ? Current(*c)->height : 0); });
  port.SetHandler("ImageName", [c](const Args&) {
    if (!Current(*c)) return Answer(0);
    return AnswerText(0, std::string(platform::FilePart(c->currentImage()->name)));
  });
  port.SetHandler("ImagePath", [c](const Args&) { return AnswerText(0, c->currentPath()); });

  port.SetHandler("SaveJPG", [c](const Args& a) {
    image::ChunkyImage* img = Current(*c);
    if (!img || !a.Text(0)) return Answer(1);
    int quality = a.Number(1) ? *a.Number(1) : kDefaultJpegQuality;
    return Answer(formats::SaveJPEG(img, SavePath(a.Text(0)).c_str(), quality, true, false) == 1 ? 0 : 1);
  });
  port.SetHandler("SavePNG", [c](const Args& a) {
    image::ChunkyImage* img = Current(*c);
    if (!img || !a.Text(0)) return Answer(1);
    return Answer(formats::SavePNG(img, SavePath(a.Text(0)).c_str(), a.Switch(1)) == 1 ? 0 : 1);
  });
  port.SetHandler("SaveIFF", [c](const Args& a) {
    image::ChunkyImage* img = Current(*c);
    if (!img || !a.Text(0)) return Answer(1);
    return Answer(formats::SaveILBM(img, SavePath(a.Text(0)).c_str()) == 1 ? 0 : 1);
  });
  port.SetHandler("ClipboardCopy", [c](const Args&) { return Answer(c->CopyPicture()); });
  port.SetHandler("ClipboardPaste", [c](const Args&) { return Answer(c->OpenPicture("CLIPS:0")); });

  port.SetHandler("Scale", [c](const Args& a) {
    const char* methodText = a.Text(0);
    const int32_t* widthArg = a.Number(1);
    const int32_t* heightArg = a.Number(2);
    float ratio = a.Text(3) ? ToFraction(a.Text(3)) : 0.0f;
    int32_t border = a.Text(4) ? ToWhole(a.Text(4)) : 0;
    uint32_t colour = static_cast<uint32_t>(a.Text(5) ? ToWhole(a.Text(5)) : 0);
    image::ChunkyImage* img = Current(*c);
    if (!img) return Answer(1);
    int32_t width = 0, height = 0;
    if (ratio != 0.0f) {
      width = Truncate(static_cast<float>(img->width) * ratio);
      height = Truncate(static_cast<float>(img->height) * ratio);
    } else if (widthArg && heightArg) {
      width = *widthArg;
      height = *heightArg;
    } else if (widthArg || heightArg) {
      // One side given: the other keeps the picture's aspect.
      const double aspect = static_cast<double>(img->height) / img->width;
      if (widthArg) {
        width = *widthArg;
        height = Truncate(width * aspect);
        if (width > 0 && height < 1) height = 1;
      } else {
        height = *heightArg;
        width = Truncate(height / aspect);
        if (height > 0 && width < 1) width = 1;
      }
    } else {
      return Answer(1);
    }
    int method = kDefaultScaleMethod;
    if (methodText) {
      method = ScaleMethodKeyword(methodText);
      if (method < 0) {
        std::printf("[REXX][Scale]: Unknown method:%s\n", methodText);
        std::fflush(stdout);
        method = app::kNoMethod;
      }
    }
    uint8_t alpha = static_cast<uint8_t>(colour >> 24), r = static_cast<uint8_t>(colour >> 16),
            g = static_cast<uint8_t>(colour >> 8), b = static_cast<uint8_t>(colour);
    return Answer(app::ApplyScale(*c, width, height, border != 0, r, g, b, alpha, method));
  });

  port.SetHandler("Sharpen", [c](const Args& a) {
    int32_t radius = ToWhole(a.Text(0));
    int32_t strength = ToWhole(a.Text(1));
    if (!(radius > 0 && strength != 0)) return Answer(1);
    int r = app::ApplySharpen(*c, radius, strength);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("Levels", [c](const Args& a) {
    int mode = a.Text(0) ? ChannelModeKeyword(a.Text(0)) : kDefaultChannelMode;
    int32_t low = a.Text(1) ? ToWhole(a.Text(1)) : 0;
    int32_t high = a.Text(2) ? ToWhole(a.Text(2)) : 255;
    image::ChunkyImage* img = Current(*c);
    if (!img || mode < 0) return Answer(1);
    if (a.Switch(3)) {
      filters::LevelRange range = filters::AutoLevels(img, mode == 1 ? filters::kAlphaOnly : filters::kColourOnly);
      low = range.low;
      high = range.high;
    }
    int r = app::ApplyLevels(*c, low, high, mode);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("Crop", [c](const Args& a) {
    image::ChunkyImage* img = Current(*c);
    if (!img) return Answer(1);
    int32_t left = a.Text(0) ? ToWhole(a.Text(0)) : 0;
    int32_t top = a.Text(1) ? ToWhole(a.Text(1)) : 0;
    int32_t width = a.Text(2) ? ToWhole(a.Text(2)) : img->width;
    int32_t height = a.Text(3) ? ToWhole(a.Text(3)) : img->height;
    if (width <= 0 || height < 1) return Answer(1);
    int r = app::ApplyCrop(*c, left, top, width, height);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("Blur", [c](const Args& a) {
    int mode = a.Text(0) ? ChannelModeKeyword(a.Text(0)) : kDefaultChannelMode;
    float radius = a.Text(1) ? ToFraction(a.Text(1)) : 1.0f;
    if (!Current(*c) || mode < 0) return Answer(1);
    int r = app::ApplyGaussianBlur(*c, mode, radius);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("SelectiveBlur", [c](const Args& a) {
    int mode = a.Text(0) ? SelectiveModeKeyword(a.Text(0)) : kDefaultChannelMode;
    float radius = a.Text(1) ? ToFraction(a.Text(1)) : 1.0f;
    int32_t threshold = a.Text(2) ? ToWhole(a.Text(2)) : 50;
    if (!Current(*c) || mode < 0) return Answer(1);
    int r = app::ApplySelectiveBlur(*c, threshold, mode, radius);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("InsertText", [c](const Args& a) {
    filters::InsertTextParams p;
    p.size = ToWhole(a.Text(2));
    if (!Current(*c) || !a.Text(0) || !a.Text(1) || p.size == 0) return Answer(1);
    p.text = a.Text(0);
    p.font = a.Text(1);
    p.direction = TextDirectionKeyword(a.Text(3));
    p.origin = TextOriginKeyword(a.Text(4));
    p.x = ToWhole(a.Text(5));
    p.y = ToWhole(a.Text(6));
    p.color = ToColour(a.Text(7));
    p.shadow = ToWhole(a.Text(8)) != 0;
    p.shadowX = ToWhole(a.Text(9));
    p.shadowY = ToWhole(a.Text(10));
    p.shadowColor = ToColour(a.Text(11));
    p.smoothness = ToWhole(a.Text(12));
    p.gaussian = kScriptShadowIsGaussian;
    p.intensity = Truncate(static_cast<double>(a.Text(13) ? ToFraction(a.Text(13)) : 1.0f) * 255.0);
    int r = filters::ApplyInsertText(c->currentImage(), p);
    // Drawn in place without an undo step; the display shows the new pixels.
    if (r == 0) c->RefreshDisplay();
    return Answer(r);
  });

  // The four below commit like the other handlers, so that chained commands build on each
  // other and the previous picture becomes the undo image.
  port.SetHandler("BalanceRGB", [c](const Args& a) {
    auto value = [&a](size_t i) { return Hundredths(a.Text(i) ? ToFraction(a.Text(i)) : 1.0f); };
    int32_t red = value(0), green = value(1), blue = value(2), alpha = value(3);
    if (!Current(*c)) return Answer(1);
    int r = app::ApplyRGBBalance(*c, red, green, blue, alpha);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("BalanceHSV", [c](const Args& a) {
    int32_t hue = a.Text(0) ? ToWhole(a.Text(0)) : 0;
    int32_t saturation = Hundredths(a.Text(1) ? ToFraction(a.Text(1)) : 1.0f);
    int32_t value = Hundredths(a.Text(2) ? ToFraction(a.Text(2)) : 1.0f);
    if (!Current(*c)) return Answer(1);
    int r = app::ApplyHSVBalance(*c, hue, saturation, value);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("AdjustContrast", [c](const Args& a) {
    int32_t contrast = Hundredths(a.Text(0) ? ToFraction(a.Text(0)) : 1.0f);
    if (!Current(*c)) return Answer(1);
    int r = app::ApplyContrast(*c, contrast);
    c->CommitEdit();
    return Answer(r);
  });

  port.SetHandler("AdjustGamma", [c](const Args& a) {
    int32_t gamma = Hundredths(a.Text(0) ? ToFraction(a.Text(0)) : 1.0f);
    if (!Current(*c)) return Answer(1);
    int r = app::ApplyGamma(*c, gamma);
    c->CommitEdit();
    return Answer(r);
  });
}

}  // namespace vl::script
