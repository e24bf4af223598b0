// getDisplays: CoreGraphics only, so no Screen Recording permission is needed.
#include <algorithm>
#include <string>

#include "screen/screen.h"
#include "core/numbers.h"
#include "platform/platform.h"

namespace deskcap {

Result<std::vector<uint32_t>> active_display_ids() {
  uint32_t count = 0;
  if (platform::get_active_display_list(0, nullptr, &count) != 0)
    return Error(Status::GenericFailure, "Failed to get display count");

  // Never a null array on the second call, even for a count of 0.
  std::vector<uint32_t> ids(count == 0 ? 1 : count, 0);
  uint32_t listed = 0;
  if (platform::get_active_display_list(count, ids.data(), &listed) != 0)
    return Error(Status::GenericFailure, "Failed to get display list");
  // The list may have shrunk between the two calls; it never grows past max.
  ids.resize(std::min(listed, count));
  return ids;
}

double display_scale(uint32_t display_id) {
  platform::Ref<platform::DisplayMode> mode(platform::display_copy_mode(display_id));
  if (!mode) return 1.0;
  size_t pixel_width = platform::display_mode_pixel_width(mode.get());
  size_t point_width = platform::display_mode_width(mode.get());
  if (point_width == 0) return 1.0;
  return static_cast<double>(pixel_width) / static_cast<double>(point_width);
}

Result<std::vector<DisplayEntry>> get_displays() {
  auto listed = active_display_ids();
  if (!listed.ok()) return listed.take_error();
  const std::vector<uint32_t> ids = listed.take();

  uint32_t main_id = platform::main_display_id();
  std::vector<DisplayEntry> entries;
  entries.reserve(ids.size());
  for (uint32_t id : ids) {
    platform::Rect bounds = platform::display_bounds(id);
    DisplayEntry e;
    e.id = id;
    e.name = platform::display_name(id).value_or("Display " + std::to_string(id));
    e.x = truncate_i32(bounds.x);
    e.y = truncate_i32(bounds.y);
    e.width = truncate_u32(bounds.width);
    e.height = truncate_u32(bounds.height);
    e.scale_factor = display_scale(id);
    e.is_primary = id == main_id;
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace deskcap
