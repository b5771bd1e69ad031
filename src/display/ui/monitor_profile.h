// The monitor's ICC profile as the X11 desktop publishes it: the root window's _ICC_PROFILE
// property (the first screen's), read through the xcb connection Qt already holds.
#pragma once

#include <cstdint>
#include <vector>

namespace vl::display::ui {

// The property's bytes; empty on Wayland, offscreen, without the property, or when it is
// larger than a profile may be (then the monitor counts as sRGB).
std::vector<uint8_t> ReadMonitorProfile();

}  // namespace vl::display::ui
