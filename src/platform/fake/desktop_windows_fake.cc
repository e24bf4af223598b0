// Fake AppKit and window list over the one desktop: running applications,
// the window list (filtered by its options) and the screens.
#include "platform/fake/desktop_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {
using fake::DesktopFacility;

std::vector<RunningApplication> running_applications() {
  fake::count_desktop_call(DesktopFacility::RunningApplications);
  return fake::desktop_world()->applications;
}

std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t options, uint32_t relative_to) {
  fake::count_desktop_call(DesktopFacility::WindowList);
  fake::note_window_list_arguments(options, relative_to);
  constexpr uint32_t kOnScreenOnly = 1, kExcludeDesktopElements = 16;
  auto world = fake::desktop_world();
  if (!world->window_list_available) return std::nullopt;
  std::vector<WindowInfo> list;
  for (const auto& w : world->windows) {
    if ((options & kOnScreenOnly) && !w.on_screen) continue;
    if ((options & kExcludeDesktopElements) && w.desktop_element) continue;
    list.push_back(w.info);
  }
  return list;
}

std::vector<ScreenInfo> screens() {
  fake::count_desktop_call(DesktopFacility::Screens);
  return fake::desktop_world()->screens;
}

}  // namespace deskcap::platform
