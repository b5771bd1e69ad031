#include "edit/resize_rules.h"

#include <algorithm>

#include "platform/numbers.h"
#include "platform/requester.h"

namespace vl::edit {

namespace {
int32_t FieldValue(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, kResizeFieldMax));
}
}  // namespace

int32_t DoubledField(int32_t value) {
  return FieldValue(int64_t{value} * 2);
}

int32_t HalvedField(int32_t value) {
  return value / 2;
}

int32_t AspectHeight(int32_t width, int32_t imageWidth, int32_t imageHeight) {
  const float aspect = static_cast<float>(imageHeight) / static_cast<float>(imageWidth);
  const float height = static_cast<float>(width) * aspect;
  return FieldValue(platform::Truncate(height));
}

int32_t AspectWidth(int32_t height, int32_t imageWidth, int32_t imageHeight) {
  const float aspect = static_cast<float>(imageHeight) / static_cast<float>(imageWidth);
  const float width = static_cast<float>(height) / aspect;
  return FieldValue(platform::Truncate(width));
}

void ResizeFields::Reset(int32_t imageWidth, int32_t imageHeight) {
  imageWidth_ = imageWidth;
  imageHeight_ = imageHeight;
  width_ = FieldValue(imageWidth);
  height_ = FieldValue(imageHeight);
}

void ResizeFields::SetWidth(int32_t width) {
  width_ = FieldValue(width);
  if (preserveAspect_ && imageWidth_ > 0 && imageHeight_ > 0) height_ = AspectHeight(width_, imageWidth_, imageHeight_);
}

void ResizeFields::SetHeight(int32_t height) {
  height_ = FieldValue(height);
  if (preserveAspect_ && imageWidth_ > 0 && imageHeight_ > 0) width_ = AspectWidth(height_, imageWidth_, imageHeight_);
}

std::string ResizeRefusal(const image::ChunkyImage& src, const ScaleParams& params) {
  int32_t width = 0, height = 0;
  if (!ScaleTargetSize(params, src.width, src.height, width, height) || width < 1 || height < 1)
    return "The width and the height must be at least 1.";
  // With a border the picture lands on a canvas at least as large as itself.
  int64_t w = width, h = height;
  if (params.border) {
    w = std::max<int64_t>(w, src.width);
    h = std::max<int64_t>(h, src.height);
  }
  if (image::SizeAllowed(w, h, src.format)) return std::string();
  return "A picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large (at most " +
         std::to_string(image::kMaxPixels) + " pixels).";
}

int ExecuteResize(app::Controller& c, const ScaleParams& params) {
  const image::ChunkyImage* cur = CurrentChunky(c);
  if (!cur) return 1;
  const std::string refusal = ResizeRefusal(*cur, params);
  if (!refusal.empty()) {
    platform::CurrentRequester().Error(refusal);
    return 1;
  }
  if (ApplyScale(c, params) != 0) {
    platform::CurrentRequester().Error(kResizeFailedText);
    return 1;
  }
  return 0;
}

}  // namespace vl::edit
