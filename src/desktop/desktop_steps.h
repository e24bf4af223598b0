// Addon-side steps of the desktop exports: call the native function, take its
// document over and read it leniently into plain data or an Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"

namespace deskcap {

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

// JavaScript thread. Refuses a NUL in the identifier before any native call.
Result<std::optional<WindowBounds>> app_window_bounds_step(const std::string& bundle_id);
// JavaScript thread.
Result<std::optional<NotchSize>> notch_size_step();
// Blocking thread; nullopt when there is no list.
Result<std::optional<std::vector<MicrophoneApp>>> microphone_apps_step();
// JavaScript thread: "granted", "denied", "not-determined" or "unknown".
std::string system_audio_access_step();
// Blocking thread: true, false, or nullopt.
std::optional<bool> request_system_audio_access_step();

}  // namespace deskcap
