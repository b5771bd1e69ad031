#include "edit/composite_ops.h"

#include <mutex>

#include "filters/composite.h"
#include "filters/text_engine.h"

namespace vl::edit {
namespace {

// A texture around an image's pixels, for the filters that take textures; it lets go of
// them before it goes.
class TextureView {
 public:
  explicit TextureView(image::ChunkyImage& pixels) { texture_.chunky = &pixels; }
  ~TextureView() { texture_.chunky = nullptr; }
  TextureView(const TextureView&) = delete;
  TextureView& operator=(const TextureView&) = delete;
  image::Texture* get() { return &texture_; }

 private:
  image::Texture texture_;
};

}  // namespace

bool RunGlow(const image::ChunkyImage& src, image::ChunkyImage& dst, const GlowParams& p, const StopFlag& stop) {
  return Stoppable(stop, [&] {
    return filters::Glow(&src, &dst, p.saturation, p.maskSize, p.strength, p.threshold, p.background, p.monochrome,
                         p.mode);
  });
}

int ApplyGlow(app::Controller& c, const GlowParams& p) {
  return ApplyRun(c, p, RunGlow);
}

bool RunInsertAlpha(filters::InsertAlphaTool& tool, const image::ChunkyImage& src, image::ChunkyImage& dst,
                    const InsertAlphaParams& p, const StopFlag& stop) {
  if (!CopyPixels(src, dst)) return false;
  TextureView view(dst);
  return Stoppable(stop, [&] { return tool.Run(view.get(), p.file, p.resize, p.negative); });
}

int ApplyInsertAlpha(app::Controller& c, filters::InsertAlphaTool& tool, const InsertAlphaParams& p) {
  return ApplyInPlace(c, [&](const image::ChunkyImage& src, image::ChunkyImage& dst) {
    return RunInsertAlpha(tool, src, dst, p, NeverStop());
  });
}

bool BlenderAccepts(app::Controller& c) {
  return c.currentImage() && filters::BlenderCheckTransparency(c.currentImage());
}

bool RunBlender(const image::ChunkyImage& src, image::ChunkyImage& dst, const BlenderParams& p, const StopFlag& stop) {
  if (!CopyPixels(src, dst)) return false;
  TextureView view(dst);
  return Stoppable(stop, [&] {
    return filters::BlendOverBackground(view.get(), static_cast<uint8_t>(p.background >> 16),
                                        static_cast<uint8_t>(p.background >> 8), static_cast<uint8_t>(p.background));
  });
}

int ApplyBlender(app::Controller& c, const BlenderParams& p) {
  return ApplyRun(c, p, RunBlender);
}

bool RunInsertText(const image::ChunkyImage& src, image::ChunkyImage& dst, const InsertTextParams& p,
                   const StopFlag& stop) {
  if (!CopyPixels(src, dst)) return false;
  TextureView view(dst);
  return Stoppable(stop, [&] { return filters::ApplyInsertText(view.get(), p) == 0; });
}

int ApplyInsertText(app::Controller& c, const InsertTextParams& p) {
  if (!CurrentChunky(c)) return 1;
  const int r = filters::ApplyInsertText(c.currentImage(), p);
  if (r == 0) c.RefreshDisplay();
  return r;
}

std::string InsertTextStatus(const InsertTextParams& p) {
  std::lock_guard<std::recursive_mutex> lock(filters::detail::TextEngineMutex());
  filters::TextEngineScope engine(filters::kTextEngineVersion);
  if (!engine.ok()) return filters::kTextStatusNoEngine;
  image::TexturePtr text, shadow;
  filters::RenderText(p.text, p.font, p.size, p.direction, p.smoothness, p.gaussian, text, shadow);
  return filters::TextStatus();
}

}  // namespace vl::edit
