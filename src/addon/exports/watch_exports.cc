// watch(deliver): the native half of the watcher. It answers a handle with
// kinds(mask) and close(); events reach `deliver(type, payload, fields)` on the
// JavaScript thread, through a thread-safe function that never keeps the
// process alive and that the host finalises at teardown.
#include <mutex>

#include "addon/exports/answer.h"
#include "addon/exports/addon_desktop.h"
#include "addon/exports/described.h"
#include "addon/exports/exports.h"
#include "watch/watch.h"

namespace deskcap::js {
namespace {

// Shared by the handle, the thread-safe function and the watch thread. The
// lock guards calls into the function against its finalisation, as the
// Promise channel does.
struct WatchSink final : watch::Sink {
  std::mutex mutex;
  bool alive = true;
  napi_threadsafe_function tsfn = nullptr;
  std::vector<watch::Event> queued;
  watch::SubscriptionId id = 0;
  bool closed = false;  // JavaScript thread only

  void deliver(std::vector<watch::Event> events) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive) return;
    bool idle = queued.empty();
    for (auto& e : events) queued.push_back(std::move(e));
    // One call drains everything queued before it runs.
    if (idle) napi_call_threadsafe_function(tsfn, nullptr, napi_tsfn_nonblocking);
  }

  // JavaScript thread: no more events, and the function is given back.
  void close() {
    if (closed) return;
    closed = true;
    watch::unsubscribe(id);
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive) return;
    alive = false;
    queued.clear();
    napi_release_threadsafe_function(tsfn, napi_tsfn_release);
  }
};

using Holder = std::shared_ptr<WatchSink>;

const char* type_name(watch::Event::Type type) {
  using T = watch::Event::Type;
  switch (type) {
    case T::DisplayAdded: return "display-added";
    case T::DisplayRemoved: return "display-removed";
    case T::DisplayChanged: return "display-changed";
    case T::IosDeviceAdded: return "ios-device-added";
    case T::IosDeviceRemoved: return "ios-device-removed";
    case T::MicrophoneAppsChanged: return "microphone-apps-changed";
    case T::ScreenCaptureAccessChanged: return "screen-capture-access-changed";
  }
  return "";
}

Build payload(napi_env env, const watch::Event& e) {
  using T = watch::Event::Type;
  switch (e.type) {
    case T::DisplayAdded:
    case T::DisplayRemoved:
    case T::DisplayChanged:
      return display_info(env, e.display);
    case T::IosDeviceAdded:
    case T::IosDeviceRemoved:
      return ios_device(env, e.device);
    case T::MicrophoneAppsChanged:
      return make_array(env, e.apps, microphone_app);
    case T::ScreenCaptureAccessChanged:
      return make_string(env, e.access);
  }
  return make_undefined(env);
}

Build fields(napi_env env, const watch::Event& e) {
  if (e.type != watch::Event::Type::DisplayChanged) return make_undefined(env);
  return make_array(env, e.fields, [](napi_env e2, const std::string& f) { return make_string(e2, f); });
}

void call_deliver(napi_env env, napi_value deliver, const watch::Event& e) {
  napi_handle_scope scope = nullptr;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  Build type = make_string(env, type_name(e.type));
  Build value = payload(env, e);
  Build changed = fields(env, e);
  if (type.ok() && value.ok() && changed.ok()) {
    napi_value args[3] = {type.value(), value.value(), changed.value()};
    call_reporting(env, deliver, 3, args);
  } else {
    report_pending_exception(env);
  }
  napi_close_handle_scope(env, scope);
}

void drain(napi_env env, napi_value deliver, void* context, void*) {
  if (env == nullptr) return;  // the function is being torn down
  auto* sink = static_cast<WatchSink*>(context);
  std::vector<watch::Event> events;
  {
    std::lock_guard<std::mutex> lock(sink->mutex);
    events.swap(sink->queued);
  }
  for (const watch::Event& e : events) {
    if (sink->closed) return;  // close() from a listener ends the batch
    call_deliver(env, deliver, e);
  }
}

void tsfn_finalized(napi_env, void* data, void*) {
  std::unique_ptr<Holder> holder(static_cast<Holder*>(data));
  (*holder)->closed = true;
  watch::unsubscribe((*holder)->id);
  std::lock_guard<std::mutex> lock((*holder)->mutex);
  (*holder)->alive = false;
  (*holder)->queued.clear();
}

void handle_finalized(napi_env, void* data, void*) { delete static_cast<Holder*>(data); }

Result<WatchSink*> this_sink(napi_env env, napi_callback_info info, napi_value* arg) {
  size_t argc = 1;
  napi_value self = nullptr;
  napi_status s = napi_get_cb_info(env, info, &argc, arg, &self, nullptr);
  if (s != napi_ok) return napi_error(s, "Failed to read the watcher");
  void* data = nullptr;
  s = napi_unwrap(env, self, &data);
  if (s != napi_ok || data == nullptr) return Error(Status::InvalidArg, "Not a watcher handle");
  return static_cast<Holder*>(data)->get();
}

napi_value handle_kinds(napi_env env, napi_callback_info info) {
  napi_value arg = nullptr;
  auto sink = this_sink(env, info, &arg);
  if (!sink.ok()) return fail(env, sink.take_error());
  auto mask = read_uint32(env, arg);
  if (!mask.ok()) return fail(env, mask.take_error());
  if (!sink.value()->closed) watch::set_kinds(sink.value()->id, mask.value());
  return nullptr;
}

napi_value handle_close(napi_env env, napi_callback_info info) {
  napi_value arg = nullptr;
  auto sink = this_sink(env, info, &arg);
  if (!sink.ok()) return fail(env, sink.take_error());
  sink.value()->close();
  return nullptr;
}

Build make_handle(napi_env env, napi_value deliver) {
  auto sink = std::make_shared<WatchSink>();
  napi_value name = nullptr, handle = nullptr;
  napi_status s = napi_create_string_utf8(env, "deskcap.watch", NAPI_AUTO_LENGTH, &name);
  auto tsfn_holder = std::make_unique<Holder>(sink);
  if (s == napi_ok)
    s = napi_create_threadsafe_function(env, deliver, nullptr, name, 0, 1, tsfn_holder.get(), tsfn_finalized,
                                        sink.get(), drain, &sink->tsfn);
  if (s != napi_ok) return napi_error(s, "Failed to create the watcher's channel");
  tsfn_holder.release();  // the finaliser's now
  // A watcher never keeps the process alive.
  s = napi_unref_threadsafe_function(env, sink->tsfn);
  if (s == napi_ok) s = napi_create_object(env, &handle);
  napi_property_descriptor methods[] = {
      {"kinds", nullptr, handle_kinds, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"close", nullptr, handle_close, nullptr, nullptr, nullptr, napi_default, nullptr},
  };
  if (s == napi_ok) s = napi_define_properties(env, handle, 2, methods);
  auto handle_holder = std::make_unique<Holder>(sink);
  if (s == napi_ok) s = napi_wrap(env, handle, handle_holder.get(), handle_finalized, nullptr, nullptr);
  if (s != napi_ok) {
    sink->close();
    return napi_error(s, "Failed to create the watcher");
  }
  handle_holder.release();
  sink->id = watch::subscribe(sink, watch::Sources{&addon_desktop()});
  if (sink->id == 0) {
    sink->close();
    return Error(Status::GenericFailure, "Failed to start the watch thread");
  }
  return handle;
}

}  // namespace

napi_value watch_changes(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 1);
  if (!args.ok()) return fail(env, args.take_error());
  napi_valuetype type = napi_undefined;
  napi_status s = napi_typeof(env, args.value()[0], &type);
  if (s != napi_ok) return fail(env, napi_error(s, "Failed to read the watcher's callback"));
  if (type != napi_function) return fail(env, Error(Status::FunctionExpected, "Expected a function"));
  return answer(env, Result<napi_value>(args.value()[0]),
                [](napi_env e, napi_value deliver) { return make_handle(e, deliver); });
}

}  // namespace deskcap::js
