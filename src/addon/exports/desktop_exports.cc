// getAppWindowBounds, getNotchSize, getSystemAudioAccess and
// getScreenCaptureAccess answer on the JavaScript thread; listMicrophoneApps,
// listWindows and the two permission requests run on blocking threads.
#include "addon/deferred.h"
#include "addon/exports/answer.h"
#include "addon/exports/addon_desktop.h"
#include "addon/exports/described.h"
#include "addon/exports/exports.h"
#include "desktop/desktop_steps.h"

namespace deskcap::js {

Build microphone_app(napi_env env, const MicrophoneApp& app, ListSlot slot) {
  return make_object(env, {{"pid", app.pid}, {"bundleId", [&](napi_env e) { return make_string(e, app.bundle_id); }}},
                     slot);
}

namespace {

Build window_bounds(napi_env env, const WindowBounds& b) {
  return make_object(env, {{"x", b.x}, {"y", b.y}, {"width", b.width}, {"height", b.height}});
}

Build notch(napi_env env, const NotchSize& n) {
  return make_object(env, {{"width", n.width}, {"height", n.height}});
}


Build optional_string(napi_env env, const std::optional<std::string>& text) {
  return make_optional(env, text, make_string);
}

Build listed_window(napi_env env, const ListedWindow& w, ListSlot slot) {
  return make_object(env,
                     {
                         {"id", w.id},
                         {"pid", w.pid},
                         {"appId", [&](napi_env e) { return optional_string(e, w.app_id); }},
                         {"appName", [&](napi_env e) { return optional_string(e, w.app_name); }},
                         {"title", [&](napi_env e) { return optional_string(e, w.title); }},
                         {"x", w.x},
                         {"y", w.y},
                         {"width", w.width},
                         {"height", w.height},
                         {"layer", w.layer},
                         {"displayId", [&](napi_env e) { return make_optional(e, w.display_id, make_uint32); }},
                     },
                     slot);
}

}  // namespace

napi_value get_app_window_bounds(napi_env env, napi_callback_info info) {
  auto bundle_id = string_argument(env, info);
  if (!bundle_id) return nullptr;
  return answer(env, app_window_bounds_step(*bundle_id, addon_desktop()), [](napi_env e, const std::optional<WindowBounds>& b) {
    return make_optional(e, b, window_bounds);
  });
}

napi_value get_notch_size(napi_env env, napi_callback_info) {
  return answer(env, notch_size_step(addon_desktop()),
                [](napi_env e, const std::optional<NotchSize>& n) { return make_optional(e, n, notch); });
}

napi_value get_system_audio_access(napi_env env, napi_callback_info) {
  return answer(env, Result<std::string>(system_audio_access_step()),
                [](napi_env e, const std::string& word) { return make_string(e, word); });
}

napi_value list_microphone_apps(napi_env env, napi_callback_info) {
  using Apps = std::optional<std::vector<MicrophoneApp>>;
  return start_promise<Apps>(env, Where::Blocking, [] { return microphone_apps_step(addon_desktop()); },
                             [](napi_env e, const Apps& apps) {
                               return make_optional(e, apps, [](napi_env e2, const std::vector<MicrophoneApp>& list) {
                                 return make_array(e2, list, microphone_app);
                               });
                             });
}

napi_value request_system_audio_access(napi_env env, napi_callback_info) {
  using Answer = std::optional<bool>;
  return start_promise<Answer>(env, Where::Blocking, [] { return Result<Answer>(request_system_audio_access_step()); },
                               [](napi_env e, const Answer& granted) { return make_optional(e, granted, make_bool); });
}

napi_value list_windows(napi_env env, napi_callback_info) {
  using Windows = std::vector<ListedWindow>;
  refresh_applications_step();
  return start_promise<Windows>(env, Where::Blocking, [] { return Result<Windows>(list_windows_step()); },
                                [](napi_env e, const Windows& windows) { return make_array(e, windows, listed_window); });
}

napi_value get_screen_capture_access(napi_env env, napi_callback_info) {
  return answer(env, Result<std::string>(screen_capture_access_step()),
                [](napi_env e, const std::string& word) { return make_string(e, word); });
}

napi_value request_screen_capture_access(napi_env env, napi_callback_info) {
  return start_promise<bool>(env, Where::Blocking, [] { return Result<bool>(request_screen_capture_access_step()); },
                             [](napi_env e, bool granted) { return make_bool(e, granted); });
}

}  // namespace deskcap::js
