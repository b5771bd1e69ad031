// Colour management of what is shown: transforms from a picture's ICC profile to the monitor's
// profile (or to sRGB, for thumbnails kept on disk), built with lcms2 and cached.
//
// Only shown pixels go through these transforms; a picture's own pixels stay the file's numbers.
// Intent: relative colorimetric with black point compensation (for the matrix/TRC profiles of
// cameras and editors, which is what photos carry, every intent gives the same result anyway).
// Threads: transforms are made with cmsFLAGS_NOCACHE, which leaves an lcms2 transform without
// mutable state, so one transform is applied from any number of threads at once; the cache
// and the monitor profile are guarded by one mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/chunky.h"

namespace vl::image {

// Profiles larger than this are not read from files (real ones are a few KiB, big LUT
// profiles a few hundred).
inline constexpr size_t kMaxIccProfileBytes = size_t{4} << 20;

enum class ColourTarget { kMonitor, kSrgb };

class ColourTransform {
 public:
  ~ColourTransform();
  ColourTransform(const ColourTransform&) = delete;
  ColourTransform& operator=(const ColourTransform&) = delete;

  // Converts count pixels in place: RGB24 (R, G, B) or ARGB32 (A, R, G, B; alpha kept), the
  // format given when the transform was made. A grey profile's transform reads the G byte.
  void Apply(uint8_t* pixels, size_t count) const;
  uint32_t format() const { return format_; }
  bool grey() const { return grey_; }

 private:
  friend struct TransformMaker;
  ColourTransform(void* handle, uint32_t format, bool grey) : handle_(handle), format_(format), grey_(grey) {}
  void* handle_;  // cmsHTRANSFORM
  uint32_t format_;
  bool grey_;
};
using ColourTransformPtr = std::shared_ptr<const ColourTransform>;

// What kind of profile the bytes hold, as far as showing a picture goes.
enum class ProfileKind { kUnusable, kRgb, kGrey };
ProfileKind KindOfProfile(const std::vector<uint8_t>& profile);

// The transform from profile to target for pixels of format (RGB24 or ARGB32). Null when
// lcms2 refuses the profile, when it is neither RGB nor grey, or when it is grey and the
// picture is not (greyPicture false). Results, refusals too, are cached by the profile's bytes.
ColourTransformPtr TransformFromProfile(const std::vector<uint8_t>& profile, uint32_t format, ColourTarget target,
                                        bool greyPicture);

// The transform for showing texture (its profile to target, pixels of format); null when the
// texture has no profile or the profile gives no transform. A grey profile is taken only for
// a picture whose every pixel has R = G = B.
ColourTransformPtr TransformForPicture(const Texture& texture, uint32_t format, ColourTarget target);

// Converts a whole RGB24 or ARGB32 picture in place from profile to target; false (pixels
// untouched) when there is no transform.
bool ConvertPicture(ChunkyImage* picture, const std::vector<uint8_t>& profile, ColourTarget target);

// The monitor's profile: empty bytes (or bytes lcms2 refuses) mean sRGB. Changing it empties
// the cache. MonitorIsSrgb is true while no usable monitor profile is set.
void SetMonitorProfile(const std::vector<uint8_t>& profile);
bool MonitorIsSrgb();
// sRGB to the monitor, for pictures already converted to sRGB; null when the monitor is sRGB.
ColourTransformPtr SrgbToMonitor(uint32_t format);

// The line printed when a picture's profile gives no transform.
std::string ProfileRefusedMessage(const std::string& name);

// Entries of the cache (tests).
size_t ColourCacheSize();

}  // namespace vl::image
