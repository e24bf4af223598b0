// takeIosLog, listIosDevices, usbAppleDeviceCount, captureIosDevice and
// prewarmIosCapture: all run their native calls on blocking threads.
#include "addon/deferred.h"
#include "addon/exports/answer.h"
#include "addon/exports/captured_image.h"
#include "addon/exports/described.h"
#include "addon/exports/exports.h"
#include "addon/test_faults.h"
#include "phone/phone_steps.h"

namespace deskcap::js {

Build ios_device(napi_env env, const IosDevice& d, ListSlot slot) {
  return make_object(env,
                     {
                         {"uniqueId", [&](napi_env e) { return make_string(e, d.unique_id); }},
                         {"name", [&](napi_env e) { return make_string(e, d.name); }},
                         {"modelId", [&](napi_env e) { return make_string(e, d.model_id); }},
                         {"width", d.width},
                         {"height", d.height},
                     },
                     slot);
}


napi_value take_ios_log(napi_env env, napi_callback_info) {
  return start_promise<std::vector<std::string>>(
      env, Where::Blocking, [] { return Result<std::vector<std::string>>(take_ios_log_step()); },
      [](napi_env e, const std::vector<std::string>& lines) {
        return make_array(e, lines, [](napi_env e2, const std::string& l) { return make_string(e2, l); });
      });
}

napi_value list_ios_devices(napi_env env, napi_callback_info) {
  return start_promise<std::vector<IosDevice>>(
      env, Where::Blocking, [] { return list_ios_devices_step(); },
      [](napi_env e, const std::vector<IosDevice>& list) { return make_array(e, list, ios_device); });
}

napi_value usb_apple_device_count(napi_env env, napi_callback_info) {
  return start_promise<uint32_t>(
      env, Where::Blocking,
      [] {
        maybe_inject_fault("usbAppleDeviceCount");
        return Result<uint32_t>(usb_apple_device_count_step());
      },
      [](napi_env e, uint32_t count) { return make_uint32(e, count); });
}

napi_value capture_ios_device(napi_env env, napi_callback_info info) {
  auto id = string_argument(env, info);
  if (!id) return nullptr;
  return start_promise<CapturedPng>(
      env, Where::Blocking, [id = std::move(*id)] { return capture_ios_device_step(id); }, captured_image);
}

napi_value prewarm_ios_capture(napi_env env, napi_callback_info) {
  return start_promise<Unit>(
      env, Where::Blocking,
      [] {
        prewarm_ios_capture_step();
        return Result<Unit>(Unit{});
      },
      [](napi_env e, Unit) { return make_undefined(e); });
}

}  // namespace deskcap::js
