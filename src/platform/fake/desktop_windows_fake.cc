// Fake AppKit and window list over the one desktop: running applications,
// the window list (filtered by its options) and the screens.
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/fake/desktop_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {
using fake::DesktopFacility;

std::vector<RunningApplication> running_applications() {
  fake::count_desktop_call(DesktopFacility::RunningApplications);
  auto world = fake::desktop_world();
  std::vector<RunningApplication> applications = world->applications;
  if (world->pending_delivered.load())
    applications.insert(applications.end(), world->pending_applications.begin(),
                        world->pending_applications.end());
  return applications;
}

// As on a Mac, only the main thread can turn the main run loop.
void refresh_running_applications() {
  if (getpid() == static_cast<pid_t>(syscall(SYS_gettid)))
    fake::desktop_world()->pending_delivered.store(true);
}

std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t options, uint32_t relative_to) {
  fake::count_desktop_call(DesktopFacility::WindowList);
  fake::note_window_list_arguments(options, relative_to);
  constexpr uint32_t kOnScreenOnly = 1, kExcludeDesktopElements = 16;
  auto world = fake::desktop_world();
  if (!world->window_list_available) return std::nullopt;
  // Without Screen Recording the list withholds the names of other
  // processes' windows; the caller's own keep theirs.
  const bool withhold = screen_capture_preflight() == std::optional<bool>(false);
  const int64_t self = getpid();
  std::vector<WindowInfo> list;
  for (const auto& w : world->windows) {
    if ((options & kOnScreenOnly) && !w.on_screen) continue;
    if ((options & kExcludeDesktopElements) && w.desktop_element) continue;
    list.push_back(w.info);
    if (withhold && w.info.owner_pid != self) list.back().name.reset();
  }
  return list;
}

std::vector<ScreenInfo> screens() {
  fake::count_desktop_call(DesktopFacility::Screens);
  return fake::desktop_world()->screens;
}

}  // namespace deskcap::platform
