#include "display/picture_colour.h"

#include "platform/messages.h"

namespace vl::display {

image::ColourTransformPtr PictureColour::Choose(const image::Texture* texture) {
  if (!enabled_ || !texture || !texture->iccProfile || texture->iccProfile->empty()) return nullptr;
  image::ColourTransformPtr t = image::TransformForPicture(*texture, image::RGB24, image::ColourTarget::kMonitor);
  if (!t && reported_ != texture->iccProfile) {
    reported_ = texture->iccProfile;
    platform::PrintMessage(image::ProfileRefusedMessage(texture->name));
  }
  return t;
}

}  // namespace vl::display
