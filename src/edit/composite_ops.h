// Operations that combine the picture with something else: glow, an alpha channel from a
// file, flattening onto a background colour, and text.
#pragma once

#include <cstdint>
#include <string>

#include "edit/operation.h"
#include "filters/blend_mode.h"
#include "filters/composite.h"
#include "filters/insert_alpha.h"
#include "filters/text.h"

namespace vl::edit {

constexpr IntRange Range(const filters::GlowRange& r) {
  return {r.min, r.max, r.start};
}

// Glow: a blurred, brightened copy of the highlights blended back over the picture.
struct GlowParams {
  static constexpr IntRange kSaturation = Range(filters::kGlowSaturation);
  static constexpr IntRange kMaskSize = Range(filters::kGlowMaskSize);
  static constexpr IntRange kStrength = Range(filters::kGlowStrength);  // percent; shown as 0.00-3.00
  static constexpr IntRange kThreshold = Range(filters::kGlowThreshold);
  static constexpr IntRange kBackground = Range(filters::kGlowBackground);
  // The blend modes the window offers ("Add", "Screen").
  static constexpr uint32_t kModes = filters::kBlendAdd | filters::kBlendScreen;
  int32_t saturation = kSaturation.start;
  int32_t maskSize = kMaskSize.start;
  int32_t strength = kStrength.start;
  int32_t threshold = kThreshold.start;
  int32_t background = kBackground.start;
  bool monochrome = false;
  uint32_t mode = filters::kBlendAdd;
  bool operator==(const GlowParams&) const = default;
};
bool RunGlow(const image::ChunkyImage& src, image::ChunkyImage& dst, const GlowParams& params, const StopFlag& stop);
int ApplyGlow(app::Controller& c, const GlowParams& params);

// Insert alpha: the grey levels of a second picture become the alpha channel.
struct InsertAlphaParams {
  std::string file;
  bool resize = false;
  bool negative = false;
};
// The tool keeps the alpha image of its last run for the window's preview. A file that cannot
// be loaded, or an alpha image that cannot be resized, is reported through the requester.
bool RunInsertAlpha(filters::InsertAlphaTool& tool, const image::ChunkyImage& src, image::ChunkyImage& dst,
                    const InsertAlphaParams& params, const StopFlag& stop);
int ApplyInsertAlpha(app::Controller& c, filters::InsertAlphaTool& tool, const InsertAlphaParams& params);

// Blender: the picture flattened onto a background colour (0xRRGGBB).
struct BlenderParams {
  uint32_t background = 0x000000;
  bool operator==(const BlenderParams&) const = default;
};
// Whether the Blender may work on the picture: one without transparency is refused with the
// requester "Message..." / "OK".
bool BlenderAccepts(app::Controller& c);
bool RunBlender(const image::ChunkyImage& src, image::ChunkyImage& dst, const BlenderParams& params,
                const StopFlag& stop);
int ApplyBlender(app::Controller& c, const BlenderParams& params);

// Text: the filters' parameter record, with its defaults.
using InsertTextParams = filters::InsertTextParams;
// dst becomes src with the text drawn into it.
bool RunInsertText(const image::ChunkyImage& src, image::ChunkyImage& dst, const InsertTextParams& params,
                   const StopFlag& stop);
// The script's step: the text is drawn into the current picture in place, without an undo
// step; the display shows the new pixels. 1 without a picture, font or engine.
int ApplyInsertText(app::Controller& c, const InsertTextParams& params);
// What rendering the text of params says (filters::TextStatus): "OK", why it failed, or the
// empty text when there is nothing to draw. Draws nothing.
std::string InsertTextStatus(const InsertTextParams& params);

}  // namespace vl::edit
