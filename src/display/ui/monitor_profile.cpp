#include "display/ui/monitor_profile.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/colour_management.h"

namespace vl::display::ui {

std::vector<uint8_t> ReadMonitorProfile() {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c || xcb_connection_has_error(c)) return {};
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  if (!screens.rem || !screens.data) return {};
  const char kName[] = "_ICC_PROFILE";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(kName)), kName), nullptr);
  if (!atom) return {};
  const xcb_atom_t name = atom->atom;
  std::free(atom);
  if (name == XCB_ATOM_NONE) return {};
  // The length is asked for in 32-bit units; one unit more than the limit tells a larger
  // property from one that fits.
  const uint32_t units = static_cast<uint32_t>(image::kMaxIccProfileBytes / 4 + 1);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, screens.data->root, name, XCB_GET_PROPERTY_TYPE_ANY, 0, units), nullptr);
  if (!reply) return {};
  std::vector<uint8_t> bytes;
  const int length = xcb_get_property_value_length(reply);
  if (reply->format == 8 && reply->bytes_after == 0 && length > 0 &&
      static_cast<size_t>(length) <= image::kMaxIccProfileBytes) {
    const auto* v = static_cast<const uint8_t*>(xcb_get_property_value(reply));
    bytes.assign(v, v + length);
  }
  std::free(reply);
  return bytes;
}

}  // namespace vl::display::ui
