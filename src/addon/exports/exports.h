// The export callbacks, one per JavaScript function.
#pragma once

#include <node_api.h>

namespace deskcap::js {

napi_value get_displays(napi_env env, napi_callback_info info);
napi_value take_ios_log(napi_env env, napi_callback_info info);
napi_value capture_window(napi_env env, napi_callback_info info);
napi_value capture_display(napi_env env, napi_callback_info info);
napi_value get_notch_size(napi_env env, napi_callback_info info);
napi_value list_ios_devices(napi_env env, napi_callback_info info);
napi_value capture_ios_device(napi_env env, napi_callback_info info);
napi_value prewarm_ios_capture(napi_env env, napi_callback_info info);
napi_value list_microphone_apps(napi_env env, napi_callback_info info);
napi_value get_app_window_bounds(napi_env env, napi_callback_info info);
napi_value usb_apple_device_count(napi_env env, napi_callback_info info);
napi_value get_system_audio_access(napi_env env, napi_callback_info info);
napi_value request_system_audio_access(napi_env env, napi_callback_info info);
napi_value list_windows(napi_env env, napi_callback_info info);
napi_value get_screen_capture_access(napi_env env, napi_callback_info info);
napi_value request_screen_capture_access(napi_env env, napi_callback_info info);
napi_value watch_changes(napi_env env, napi_callback_info info);
napi_value start_capture(napi_env env, napi_callback_info info);

}  // namespace deskcap::js
