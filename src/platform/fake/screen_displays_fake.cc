// CoreGraphics display queries over the world's "screen.displays".
#include "platform/fake/screen_fake.h"

namespace deskcap::platform {

int32_t get_active_display_list(uint32_t max, uint32_t* ids, uint32_t* count) {
  auto m = fake::screen::model();
  if (ids == nullptr && m->display_count_error != 0) {
    *count = 0;
    return m->display_count_error;
  }
  if (ids != nullptr && m->display_list_error != 0) {
    *count = 0;
    return m->display_list_error;
  }
  std::vector<uint32_t> active;
  for (const auto& d : m->displays)
    if (d.active) active.push_back(d.id);
  if (ids == nullptr) {
    *count = static_cast<uint32_t>(active.size());
    return 0;
  }
  // A display unplugged between the two calls of a listing.
  if (m->display_list_count && *m->display_list_count < active.size())
    active.resize(*m->display_list_count);
  uint32_t n = 0;
  for (; n < max && n < active.size(); ++n) ids[n] = active[n];
  *count = n;
  return 0;
}

uint32_t main_display_id() {
  auto m = fake::screen::model();
  if (m->main_display_id) return *m->main_display_id;
  for (const auto& d : m->displays)
    if (d.main && d.active) return d.id;
  for (const auto& d : m->displays)
    if (d.active) return d.id;
  return 0;
}

Rect display_bounds(uint32_t display_id) {
  auto m = fake::screen::model();
  const auto* d = m->display(display_id);
  return d ? d->bounds : Rect{};
}

DisplayMode* display_copy_mode(uint32_t display_id) {
  auto m = fake::screen::model();
  const auto* d = m->display(display_id);
  if (d == nullptr || !d->has_mode) return nullptr;
  auto* mode = new DisplayMode();
  mode->pixel_width = d->mode_pixel_width;
  mode->width = d->mode_width;
  return mode;
}

size_t display_mode_pixel_width(DisplayMode* mode) { return mode ? mode->pixel_width : 0; }
size_t display_mode_width(DisplayMode* mode) { return mode ? mode->width : 0; }
std::optional<std::string> display_name(uint32_t) { return std::nullopt; }

}  // namespace deskcap::platform
