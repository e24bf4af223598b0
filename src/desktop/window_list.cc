// listWindows: the on-screen windows, front to back, with their owners and the
// display each one is on, from the window list, the running applications and
// the display list.
#include <unordered_map>

#include "desktop/desktop_steps.h"
#include "platform/platform.h"
#include "screen/screen.h"

namespace deskcap {
namespace {

struct Display {
  uint32_t id;
  platform::Rect bounds;
};

// Without a display list no window has a display.
std::vector<Display> active_displays() {
  auto ids = active_display_ids();
  std::vector<Display> displays;
  if (!ids.ok()) return displays;
  for (uint32_t id : ids.value()) displays.push_back(Display{id, platform::display_bounds(id)});
  return displays;
}

// Bounds are half-open, so a centre on the seam of two side-by-side displays
// belongs to the right-hand (or lower) one.
std::optional<uint32_t> display_holding(const std::vector<Display>& displays, double x, double y) {
  for (const Display& d : displays) {
    const platform::Rect& b = d.bounds;
    if (x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return d.id;
  }
  return std::nullopt;
}

}  // namespace

void refresh_applications_step() { platform::refresh_running_applications(); }

std::vector<ListedWindow> list_windows_step() {
  platform::AutoreleasePool pool;
  auto windows = platform::window_list_copy(kOnScreenWindows, kNoRelativeWindow);
  if (!windows) return {};

  // The first application listed with a pid names it.
  std::unordered_map<int64_t, std::optional<std::string>> app_ids;
  for (auto& app : platform::running_applications())
    app_ids.emplace(app.process_identifier, std::move(app.bundle_identifier));
  const std::vector<Display> displays = active_displays();

  std::vector<ListedWindow> listed;
  listed.reserve(windows->size());
  for (auto& w : *windows) {
    // The window server gives every on-screen window both; one without is not a window a caller can use.
    if (!w.owner_pid || !w.bounds_valid) continue;
    ListedWindow entry;
    entry.id = w.number;
    entry.pid = *w.owner_pid;
    if (auto app = app_ids.find(entry.pid); app != app_ids.end()) entry.app_id = app->second;
    entry.app_name = std::move(w.owner_name);
    entry.title = std::move(w.name);
    entry.x = w.bounds.x;
    entry.y = w.bounds.y;
    entry.width = w.bounds.width;
    entry.height = w.bounds.height;
    entry.layer = w.layer.value_or(0);
    entry.display_id = display_holding(displays, entry.x + entry.width / 2, entry.y + entry.height / 2);
    listed.push_back(std::move(entry));
  }
  return listed;
}

}  // namespace deskcap
