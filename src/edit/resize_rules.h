// The resize window's rules, free of the GUI: the two size fields with their "x2" and "/2"
// steps, the rule that keeps the picture's aspect, and the execute step that refuses sizes
// that cannot be made before it scales.
#pragma once

#include <cstdint>
#include <string>

#include "app/controller.h"
#include "edit/geometry_ops.h"
#include "image/chunky.h"

namespace vl::edit {

// The largest value a size field holds: no side can be longer than the pixel limit.
inline constexpr int32_t kResizeFieldMax = static_cast<int32_t>(image::kMaxPixels);

// value x 2, at most kResizeFieldMax.
int32_t DoubledField(int32_t value);
// value / 2, truncating toward zero.
int32_t HalvedField(int32_t value);

// The other side for a picture of imageWidth x imageHeight, in single precision:
// truncate(width x (imageHeight / imageWidth)) and truncate(height / (imageHeight / imageWidth)),
// limited to 0..kResizeFieldMax.
int32_t AspectHeight(int32_t width, int32_t imageWidth, int32_t imageHeight);
int32_t AspectWidth(int32_t height, int32_t imageWidth, int32_t imageHeight);

// The "Width:" and "Height:" fields. With the aspect kept, setting one side computes the
// other; the computed side is only stored, so it never sets off a computation of its own.
class ResizeFields {
 public:
  // Both fields take the picture's size.
  void Reset(int32_t imageWidth, int32_t imageHeight);

  void SetWidth(int32_t width);
  void SetHeight(int32_t height);
  void DoubleWidth() { SetWidth(DoubledField(width_)); }
  void HalveWidth() { SetWidth(HalvedField(width_)); }
  void DoubleHeight() { SetHeight(DoubledField(height_)); }
  void HalveHeight() { SetHeight(HalvedField(height_)); }
  // Turning the rule on leaves both fields as they are; it acts on the next change.
  void SetPreserveAspect(bool on) { preserveAspect_ = on; }

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  bool preserveAspect() const { return preserveAspect_; }
  int32_t imageWidth() const { return imageWidth_; }
  int32_t imageHeight() const { return imageHeight_; }

 private:
  int32_t imageWidth_ = 0;
  int32_t imageHeight_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool preserveAspect_ = true;
};

// Why a scale of src with params cannot be made: a side below 1, or a result (the canvas,
// with border) past the size limits. Empty when it can.
std::string ResizeRefusal(const image::ChunkyImage& src, const ScaleParams& params);

inline constexpr const char* kResizeFailedText = "Not enough memory.\n";

// The resize window's "_Execute": a size that cannot be made is refused in the error
// requester with the picture unchanged (1); otherwise ApplyScale, whose failure shows
// kResizeFailedText (1). 0 when the picture has the new size (or already had it); 1 without
// a picture.
int ExecuteResize(app::Controller& c, const ScaleParams& params);

}  // namespace vl::edit
