// listWindows: the on-screen windows, front to back, with their owners and the
// display each one is on, from the window list, the running applications and
// the display list.
#include <unordered_map>

#include "desktop/desktop_steps.h"
#include "platform/platform.h"

namespace deskcap {
namespace {

// On-screen windows only, desktop elements left out.
constexpr uint32_t kWindowListOptions = 1 | 16;
constexpr uint32_t kNullWindowId = 0;

struct Display {
  uint32_t id;
  platform::Rect bounds;
};

std::vector<Display> active_displays() {
  uint32_t count = 0;
  if (platform::get_active_display_list(0, nullptr, &count) != 0 || count == 0) return {};
  std::vector<uint32_t> ids(count);
  if (platform::get_active_display_list(count, ids.data(), &count) != 0) return {};
  std::vector<Display> displays;
  for (uint32_t i = 0; i < count && i < ids.size(); ++i)
    displays.push_back(Display{ids[i], platform::display_bounds(ids[i])});
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
  auto windows = platform::window_list_copy(kWindowListOptions, kNullWindowId);
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
