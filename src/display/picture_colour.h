// Which colour transform the display shows a picture through: its ICC profile to the
// monitor's, while colour management is on. A picture without a profile gets none (it is
// shown exactly as its numbers); a profile that gives no transform is reported once per
// picture on standard output and the picture is shown unconverted.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/chunky.h"
#include "image/colour_management.h"

namespace vl::display {

class PictureColour {
 public:
  // The transform for the renderer's RGB24 rows, or null.
  image::ColourTransformPtr Choose(const image::Texture* texture);

  void SetEnabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }

 private:
  bool enabled_ = true;
  // The profile last reported as refused; a picture's edits share its profile, so they are
  // not reported again.
  std::shared_ptr<const std::vector<uint8_t>> reported_;
};

}  // namespace vl::display
