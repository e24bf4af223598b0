// Built without xcb's development packages: no X server is ever reachable, so
// the backend answers as a system without displays or windows.
#include "platform/linux/x11_server_linux.h"

namespace deskcap::linux_backend::x11 {

bool reachable() { return false; }
std::string unavailable_reason() { return "this build has no X11 support"; }
std::vector<Output> outputs() { return {}; }
std::optional<std::vector<Window>> windows() { return std::nullopt; }
std::optional<std::vector<Client>> clients() { return std::nullopt; }

Grab grab_area(const platform::Rect&, const std::set<uint32_t>&) {
  return Grab{nullptr, unavailable_reason()};
}
Grab grab_window(const Window&, uint32_t, uint32_t) {
  return Grab{nullptr, unavailable_reason()};
}
std::optional<CursorImage> cursor_image() { return std::nullopt; }
void watch_outputs(watch::Run&, const std::function<void()>&) {}

}  // namespace deskcap::linux_backend::x11
