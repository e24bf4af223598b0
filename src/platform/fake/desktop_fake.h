// The desktop part of the fake world: running applications, the window list
// and the screens, all read from the one desktop's lists, and CoreAudio
// process objects (docs/fake-world.md, "Desktop").
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace deskcap::fake {

struct FakeAudioProcess {
  uint32_t object_id = 0;
  uint32_t running_input = 0;
  int32_t running_input_status = 0;
  int32_t pid = 0;
  int32_t pid_status = 0;
  std::optional<std::string> bundle_id;
  int32_t bundle_id_status = 0;
};

// A window of the list, with what the list's options filter on.
struct ListedWindow {
  platform::WindowInfo info;
  bool on_screen = true;
  bool desktop_element = false;
};

struct DesktopWorld {
  std::vector<platform::RunningApplication> applications;
  // Launches AppKit has not delivered yet: left out of the application list
  // until the main run loop turns (refresh_running_applications on the main thread).
  std::vector<platform::RunningApplication> pending_applications;
  mutable std::atomic<bool> pending_delivered{false};
  bool window_list_available = true;
  std::vector<ListedWindow> windows;  // front to back
  std::vector<platform::ScreenInfo> screens;
  bool process_object_list = true;
  int32_t list_size_status = 0;
  int32_t list_read_status = 0;
  std::optional<uint32_t> list_size;       // reported size in bytes, else 4 per process
  std::optional<uint32_t> list_read_size;  // what the read leaves in io_size
  std::vector<FakeAudioProcess> processes;
};

// The "desktop" section of the current world, parsed once per world.
std::shared_ptr<const DesktopWorld> desktop_world();

// How often the native layer asked the desktop facilities, for tests that
// check a step asked nothing at all. Counted since the process started.
struct DesktopCalls {
  long running_applications = 0;
  long window_list = 0;
  long screens = 0;
  long audio = 0;
  uint32_t last_window_options = 0;
  uint32_t last_window_relative = 0;
};
DesktopCalls desktop_calls();

// The registered CoreAudio property listeners, and a change of one property:
// `post_audio_change` calls each listener of (object, address) once, on the
// calling thread, with no lock held.
size_t audio_listeners();
void post_audio_change(uint32_t object, const platform::PropertyAddress& address);

// Counting, for the backend files.
enum class DesktopFacility { RunningApplications, WindowList, Screens, Audio };
void count_desktop_call(DesktopFacility facility);
void note_window_list_arguments(uint32_t options, uint32_t relative_to);

}  // namespace deskcap::fake
