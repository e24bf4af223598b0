// Addon-side steps of the desktop exports.
#include "desktop/desktop_steps.h"

#include <limits>

#include "core/document.h"
#include "boundary/heap_text.h"
#include "boundary/native.h"

namespace deskcap {

const DesktopNative& system_desktop() {
  static const DesktopNative table{::app_window_bounds, ::notch_size, ::microphone_apps_json};
  return table;
}

Result<std::optional<WindowBounds>> app_window_bounds_step(const std::string& bundle_id,
                                                           const DesktopNative& native) {
  if (auto refused = refuse_text_with_nul(bundle_id, "Bundle ID contained a null byte"))
    return std::move(*refused);
  auto text = take_heap_string(native.app_window_bounds(bundle_id.c_str()));
  if (!text) return std::optional<WindowBounds>();
  auto document = parse_document(*text, "Malformed window bounds: ");
  if (!document.ok()) return document.take_error();
  const Json& d = document.value();
  return std::optional<WindowBounds>(WindowBounds{number_field(d, "x"), number_field(d, "y"),
                                                  number_field(d, "width"),
                                                  number_field(d, "height")});
}

Result<std::optional<NotchSize>> notch_size_step(const DesktopNative& native) {
  auto text = take_heap_string(native.notch_size());
  if (!text) return std::optional<NotchSize>();
  auto document = parse_document(*text, "Malformed notch size: ");
  if (!document.ok()) return document.take_error();
  NotchSize notch{number_field(document.value(), "width"), number_field(document.value(), "height")};
  if (notch.width > 0 && notch.height > 0) return std::optional<NotchSize>(notch);
  return std::optional<NotchSize>();
}

Result<std::optional<std::vector<MicrophoneApp>>> microphone_apps_step(const DesktopNative& native) {
  using Apps = std::optional<std::vector<MicrophoneApp>>;
  auto text = take_heap_string(native.microphone_apps_json());
  if (!text) return Apps();
  auto document = parse_document(*text, "Malformed microphone app list: ");
  if (!document.ok()) return document.take_error();
  const Json& list = document.value();
  if (!list.is_array()) return Error("Microphone app list was not an array");
  std::vector<MicrophoneApp> apps;
  apps.reserve(list.size());
  for (const Json& element : list) {
    const Json& pid = field(element, "pid");
    // Only positive integers that fit a process identifier make an entry.
    if (!pid.is_number_unsigned()) continue;
    uint64_t value = pid.get<uint64_t>();
    if (value == 0 || value > std::numeric_limits<uint32_t>::max()) continue;
    apps.push_back(MicrophoneApp{static_cast<uint32_t>(value), text_field(element, "bundleId")});
  }
  return Apps(std::move(apps));
}

std::string system_audio_access_step() {
  // Tested unsigned, so that every negative code is "unknown".
  switch (static_cast<uint64_t>(system_audio_access_status())) {
    case 0:
      return "granted";
    case 1:
      return "denied";
    case 2:
      return "not-determined";
    default:
      return "unknown";
  }
}

std::optional<bool> request_system_audio_access_step() {
  switch (request_audio_capture_access()) {
    case 1:
      return true;
    case 0:
      return false;
    default:
      return std::nullopt;
  }
}

}  // namespace deskcap
