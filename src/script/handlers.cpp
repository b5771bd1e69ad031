#include "script/handlers.h"

#include <cstdio>
#include <cstring>

#include "edit/blur_ops.h"
#include "edit/composite_ops.h"
#include "edit/geometry_ops.h"
#include "edit/tone_ops.h"
#include "formats/ilbm_writer.h"
#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "platform/paths.h"

namespace vl::script {
namespace {

// Values used when a script leaves a slot out.
constexpr int kDefaultJpegQuality = 95;
constexpr int kDefaultScaleMethod = edit::kLanczosMethod;
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
  return edit::CurrentChunky(c);
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

namespace {

using app::Controller;

// A slot's text as a whole number, fraction or hundredths, or the default when absent.
int32_t WholeOr(const Args& a, size_t i, int32_t absent) {
  return a.Text(i) ? ToWhole(a.Text(i)) : absent;
}
float FractionOr(const Args& a, size_t i, float absent) {
  return a.Text(i) ? ToFraction(a.Text(i)) : absent;
}
int32_t HundredthsOr(const Args& a, size_t i) {
  return Hundredths(FractionOr(a, i, 1.0f));
}

// The edit steps end with CommitEdit: the picture before the command becomes the undo image.
Reply Committed(Controller& c, int result) {
  c.CommitEdit();
  return Answer(result);
}

Reply Save(Controller& c, const Args& a, int (*save)(const image::Texture*, const std::string&, const Args&)) {
  if (!Current(c) || !a.Text(0)) return Answer(1);
  return Answer(save(c.currentImage(), SavePath(a.Text(0)), a) == 1 ? 0 : 1);
}

Reply ChangeDirectory(Controller& c, const Args& a) {
  if (!a.Text(0)) return Answer(1);
  c.ChangeDirectory(platform::ResolvePath(a.Text(0)));
  return Answer(0);
}

Reply ImageName(Controller& c) {
  if (!Current(c)) return Answer(0);
  return AnswerText(0, std::string(platform::FilePart(c.currentImage()->name)));
}

Reply Scale(Controller& c, const Args& a) {
  edit::ScaleParams p;
  p.hasWidth = a.Number(1) != nullptr;
  p.hasHeight = a.Number(2) != nullptr;
  p.width = p.hasWidth ? *a.Number(1) : 0;
  p.height = p.hasHeight ? *a.Number(2) : 0;
  p.ratio = FractionOr(a, 3, 0.0f);
  p.border = WholeOr(a, 4, 0) != 0;
  p.borderColor = static_cast<uint32_t>(WholeOr(a, 5, 0));
  if (!Current(c)) return Answer(1);
  int32_t width = 0, height = 0;
  if (!edit::ScaleTargetSize(p, Current(c)->width, Current(c)->height, width, height)) return Answer(1);
  p.method = kDefaultScaleMethod;
  if (const char* methodText = a.Text(0)) {
    p.method = ScaleMethodKeyword(methodText);
    if (p.method < 0) {
      std::printf("[REXX][Scale]: Unknown method:%s\n", methodText);
      std::fflush(stdout);
      p.method = edit::kNoMethod;
    }
  }
  return Answer(edit::ApplyScale(c, p));
}

Reply Sharpen(Controller& c, const Args& a) {
  edit::SharpenParams p;
  p.radius = ToWhole(a.Text(0));
  p.strength = ToWhole(a.Text(1));
  if (!(p.radius > 0 && p.strength != 0)) return Answer(1);
  return Committed(c, edit::ApplySharpen(c, p));
}

Reply Levels(Controller& c, const Args& a) {
  edit::LevelsParams p;
  const int mode = a.Text(0) ? ChannelModeKeyword(a.Text(0)) : kDefaultChannelMode;
  p.low = WholeOr(a, 1, 0);
  p.high = WholeOr(a, 2, 255);
  p.autoLevels = a.Switch(3);
  if (!Current(c) || mode < 0) return Answer(1);
  p.mode = static_cast<filters::AlphaMode>(mode);
  return Committed(c, edit::ApplyLevels(c, p));
}

Reply Crop(Controller& c, const Args& a) {
  image::ChunkyImage* img = Current(c);
  if (!img) return Answer(1);
  const edit::CropParams p{WholeOr(a, 0, 0), WholeOr(a, 1, 0), WholeOr(a, 2, img->width), WholeOr(a, 3, img->height)};
  if (p.width <= 0 || p.height < 1) return Answer(1);
  return Committed(c, edit::ApplyCrop(c, p));
}

Reply Blur(Controller& c, const Args& a) {
  edit::GaussianBlurParams p;
  const int mode = a.Text(0) ? ChannelModeKeyword(a.Text(0)) : kDefaultChannelMode;
  p.radius = FractionOr(a, 1, 1.0f);
  if (!Current(c) || mode < 0) return Answer(1);
  p.mode = static_cast<filters::AlphaMode>(mode);
  return Committed(c, edit::ApplyGaussianBlur(c, p));
}

Reply SelectiveBlur(Controller& c, const Args& a) {
  edit::NoiseReductionParams p;
  p.filter = edit::NoiseFilter::kGaussian;
  const int mode = a.Text(0) ? SelectiveModeKeyword(a.Text(0)) : kDefaultChannelMode;
  p.radius = FractionOr(a, 1, 1.0f);
  p.threshold = WholeOr(a, 2, 50);
  if (!Current(c) || mode < 0) return Answer(1);
  p.mode = static_cast<filters::AlphaMode>(mode);
  return Committed(c, edit::ApplyNoiseReduction(c, p));
}

Reply InsertText(Controller& c, const Args& a) {
  edit::InsertTextParams p;
  p.size = ToWhole(a.Text(2));
  if (!Current(c) || !a.Text(0) || !a.Text(1) || p.size == 0) return Answer(1);
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
  p.intensity = Truncate(static_cast<double>(FractionOr(a, 13, 1.0f)) * 255.0);
  // Drawn in place without an undo step.
  return Answer(edit::ApplyInsertText(c, p));
}

// The four below commit like the others (a script has no window that would commit later), so
// that chained commands build on each other and the previous picture becomes the undo image.
Reply BalanceRGB(Controller& c, const Args& a) {
  const edit::RGBBalanceParams p{HundredthsOr(a, 0), HundredthsOr(a, 1), HundredthsOr(a, 2), HundredthsOr(a, 3)};
  if (!Current(c)) return Answer(1);
  return Committed(c, edit::ApplyRGBBalance(c, p));
}

Reply BalanceHSV(Controller& c, const Args& a) {
  const edit::HSVBalanceParams p{WholeOr(a, 0, 0), HundredthsOr(a, 1), HundredthsOr(a, 2)};
  if (!Current(c)) return Answer(1);
  return Committed(c, edit::ApplyHSVBalance(c, p));
}

Reply AdjustContrastGamma(Controller& c, const Args& a, bool gamma) {
  edit::ContrastGammaParams p;
  (gamma ? p.gamma : p.contrast) = HundredthsOr(a, 0);
  if (!Current(c)) return Answer(1);
  return Committed(c, edit::ApplyContrastGamma(c, p));
}

// The picture's ICC profile and EXIF block go with it.
int SaveJpegAs(const image::Texture* img, const std::string& path, const Args& a) {
  return formats::SaveJPEG(img->chunky, path.c_str(), a.Number(1) ? *a.Number(1) : kDefaultJpegQuality, true, false,
                           formats::MetadataOf(img));
}
int SavePngAs(const image::Texture* img, const std::string& path, const Args& a) {
  return formats::SavePNG(img, path.c_str(), a.Switch(1));
}
int SaveIlbmAs(const image::Texture* img, const std::string& path, const Args&) {
  return formats::SaveILBM(img->chunky, path.c_str());
}

}  // namespace

void InstallHandlers(CommandPort& port, app::Controller& ctl) {
  Controller* c = &ctl;
  auto on = [&port, c](const char* name, Reply (*handler)(Controller&, const Args&)) {
    port.SetHandler(name, [c, handler](const Args& a) { return handler(*c, a); });
  };
  on("Load", [](Controller& c, const Args& a) { return Answer(c.LoadPicture(a.Text(0))); });
  on("LoadNext", [](Controller& c, const Args&) { return Answer(c.LoadNext() ? 1 : 0); });
  on("LoadPrevious", [](Controller& c, const Args&) { return Answer(c.LoadPrevious() ? 1 : 0); });
  on("ChangeDirectory", ChangeDirectory);
  on("ImageWidth", [](Controller& c, const Args&) { return Answer(Current(c) ? Current(c)->width : 0); });
  on("ImageHeight", [](Controller& c, const Args&) { return Answer(Current(c) ? Current(c)->height : 0); });
  on("ImageName", [](Controller& c, const Args&) { return ImageName(c); });
  on("ImagePath", [](Controller& c, const Args&) { return AnswerText(0, c.currentPath()); });
  on("SaveJPG", [](Controller& c, const Args& a) { return Save(c, a, SaveJpegAs); });
  on("SavePNG", [](Controller& c, const Args& a) { return Save(c, a, SavePngAs); });
  on("SaveIFF", [](Controller& c, const Args& a) { return Save(c, a, SaveIlbmAs); });
  on("ClipboardCopy", [](Controller& c, const Args&) { return Answer(c.CopyPicture()); });
  on("ClipboardPaste", [](Controller& c, const Args&) { return Answer(c.LoadPicture("CLIPS:0")); });
  on("Scale", Scale);
  on("Sharpen", Sharpen);
  on("Levels", Levels);
  on("Crop", Crop);
  on("Blur", Blur);
  on("SelectiveBlur", SelectiveBlur);
  on("InsertText", InsertText);
  on("BalanceRGB", BalanceRGB);
  on("BalanceHSV", BalanceHSV);
  on("AdjustContrast", [](Controller& c, const Args& a) { return AdjustContrastGamma(c, a, false); });
  on("AdjustGamma", [](Controller& c, const Args& a) { return AdjustContrastGamma(c, a, true); });
}

}  // namespace vl::script
