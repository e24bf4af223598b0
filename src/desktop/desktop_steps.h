// Addon-side steps of the desktop exports: call the native function, take its
// document over and read it leniently into plain data or an Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"

namespace deskcap {

// The window list both desktop exports read: on-screen windows only
// (kCGWindowListOptionOnScreenOnly), desktop elements left out
// (kCGWindowListExcludeDesktopElements), relative to no window.
constexpr uint32_t kOnScreenWindows = 1 | 16;
constexpr uint32_t kNoRelativeWindow = 0;

struct WindowBounds {
  double x = 0, y = 0, width = 0, height = 0;
};
struct NotchSize {
  double width = 0, height = 0;
};
struct MicrophoneApp {
  uint32_t pid = 0;
  std::string bundle_id;
};

// One on-screen window of listWindows.
struct ListedWindow {
  uint32_t id = 0;
  int64_t pid = 0;
  std::optional<std::string> app_id;    // the owner's bundle identifier
  std::optional<std::string> app_name;  // the owner's name
  std::optional<std::string> title;     // nullopt when the system withholds it
  double x = 0, y = 0, width = 0, height = 0;
  int64_t layer = 0;
  std::optional<uint32_t> display_id;  // the display holding the window's centre
};

// JavaScript thread, before list_windows_step: lets the application list catch
// up with launches (it changes only while the main run loop runs).
void refresh_applications_step();
// Blocking thread: front to back; empty when there is no window list.
std::vector<ListedWindow> list_windows_step();
// Any thread: "granted", "denied", "not-determined" or "unknown".
std::string screen_capture_access_step();
// Blocking thread.
bool request_screen_capture_access_step();

// The JSON-answering native functions the steps call (boundary/native.h).
struct DesktopNative {
  char* (*app_window_bounds)(const char* bundle_id);
  char* (*notch_size)();
  char* (*microphone_apps_json)();
};
// The system's own, straight to the C boundary.
const DesktopNative& system_desktop();

// JavaScript thread. Refuses a NUL in the identifier before any native call.
Result<std::optional<WindowBounds>> app_window_bounds_step(const std::string& bundle_id,
                                                           const DesktopNative& native = system_desktop());
// JavaScript thread.
Result<std::optional<NotchSize>> notch_size_step(const DesktopNative& native = system_desktop());
// Blocking thread; nullopt when there is no list.
Result<std::optional<std::vector<MicrophoneApp>>> microphone_apps_step(
    const DesktopNative& native = system_desktop());
// JavaScript thread: "granted", "denied", "not-determined" or "unknown".
std::string system_audio_access_step();
// Blocking thread: true, false, or nullopt.
std::optional<bool> request_system_audio_access_step();

}  // namespace deskcap
