#include "addon/registry.h"

#include <mutex>
#include <shared_mutex>
#include <string>

#include "addon/exports/exports.h"
#include "addon/guard.h"
#include "addon/js_error.h"

namespace deskcap::js {
namespace {

struct Registry {
  std::shared_mutex lock;
  std::vector<ExportEntry> entries;
};

Registry& registry() {
  static Registry& r = *new Registry;
  return r;
}

// Every callback runs inside the guard.
#define DESKCAP_EXPORT(js, native) ExportEntry{#js, sizeof(#js), #native, &guarded_export<#js, &native>}

// Filled at load, before the host calls the entry, in this order.
const bool kRegistered = [] {
  for (const ExportEntry& e : {
           DESKCAP_EXPORT(getDisplays, get_displays),
           DESKCAP_EXPORT(takeIosLog, take_ios_log),
           DESKCAP_EXPORT(captureWindow, capture_window),
           DESKCAP_EXPORT(captureDisplay, capture_display),
           DESKCAP_EXPORT(getNotchSize, get_notch_size),
           DESKCAP_EXPORT(listIosDevices, list_ios_devices),
           DESKCAP_EXPORT(captureIosDevice, capture_ios_device),
           DESKCAP_EXPORT(prewarmIosCapture, prewarm_ios_capture),
           DESKCAP_EXPORT(listMicrophoneApps, list_microphone_apps),
           DESKCAP_EXPORT(getAppWindowBounds, get_app_window_bounds),
           DESKCAP_EXPORT(usbAppleDeviceCount, usb_apple_device_count),
           DESKCAP_EXPORT(getSystemAudioAccess, get_system_audio_access),
           DESKCAP_EXPORT(requestSystemAudioAccess, request_system_audio_access),
           DESKCAP_EXPORT(listWindows, list_windows),
           DESKCAP_EXPORT(getScreenCaptureAccess, get_screen_capture_access),
           DESKCAP_EXPORT(requestScreenCaptureAccess, request_screen_capture_access),
           DESKCAP_EXPORT(watch, watch_changes),
           DESKCAP_EXPORT(startCapture, start_capture),
       })
    register_export(e);
  return true;
}();

#undef DESKCAP_EXPORT

}  // namespace

void register_export(const ExportEntry& entry) {
  std::unique_lock<std::shared_mutex> lock(registry().lock);
  registry().entries.push_back(entry);
}

std::vector<ExportEntry> registered_exports() {
  std::shared_lock<std::shared_mutex> lock(registry().lock);
  return registry().entries;
}

Result<napi_value> create_export(napi_env env, const ExportEntry& entry) {
  napi_value fn = nullptr;
  napi_status s = napi_create_function(env, entry.js_name, entry.js_name_length - 1, entry.callback,
                                       nullptr, &fn);
  if (s != napi_ok)
    return napi_error(s, std::string("Failed to register function `") + entry.native_name + "`");
  return fn;
}

}  // namespace deskcap::js
