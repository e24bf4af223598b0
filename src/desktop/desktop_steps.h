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

// The JSON-answering native functions the steps call (boundary/native.h).
struct DesktopNative {
  char* (*app_window_bounds)(const char* bundle_id);
  char* (*notch_size)();
  char* (*microphone_apps_json)();
};
// The real ones.
const DesktopNative& native_desktop();

// JavaScript thread. Refuses a NUL in the identifier before any native call.
Result<std::optional<WindowBounds>> app_window_bounds_step(const std::string& bundle_id,
                                                           const DesktopNative& native = native_desktop());
// JavaScript thread.
Result<std::optional<NotchSize>> notch_size_step(const DesktopNative& native = native_desktop());
// Blocking thread; nullopt when there is no list.
Result<std::optional<std::vector<MicrophoneApp>>> microphone_apps_step(
    const DesktopNative& native = native_desktop());
// JavaScript thread: "granted", "denied", "not-determined" or "unknown".
std::string system_audio_access_step();
// Blocking thread: true, false, or nullopt.
std::optional<bool> request_system_audio_access_step();

}  // namespace deskcap
