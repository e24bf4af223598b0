// The native half of a capture stream: a handle with start(), stop() (both
// Promises, run where blocking is allowed), take() and stats(). The stream
// tells `notify("frames")` that frames wait and `notify("error", err)` that
// the system ended it, on the JavaScript thread, through a thread-safe
// function that keeps the process alive while the stream runs. Streams still
// running when their environment is torn down are stopped then.
#include <mutex>

#include "addon/deferred.h"
#include "addon/exports/answer.h"
#include "addon/exports/captured_image.h"
#include "addon/exports/exports.h"
#include "addon/exports/stream_handle.h"
#include "screen/capture_stream.h"

namespace deskcap::js {
namespace {

// The stream's listener, shared by the handle and the stream. The lock guards
// calls into the thread-safe function against its release, as the Promise
// channel does.
struct StreamSink final : StreamListener {
  std::mutex mutex;
  bool alive = true;
  napi_threadsafe_function tsfn = nullptr;
  bool frames = false;          // a "frames" call is on its way
  std::optional<Error> ending;  // the system's end, not yet told

  void frame_queued() override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive || frames) return;
    frames = true;
    napi_call_threadsafe_function(tsfn, nullptr, napi_tsfn_nonblocking);
  }

  void ended(Error error) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive) return;
    ending = std::move(error);
    napi_call_threadsafe_function(tsfn, nullptr, napi_tsfn_nonblocking);
  }

  // JavaScript thread: nothing more is told, and the function is given back.
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!alive) return;
    alive = false;
    ending.reset();
    napi_release_threadsafe_function(tsfn, napi_tsfn_release);
  }
};

// What the JavaScript handle holds.
struct Handle {
  napi_env env = nullptr;
  std::shared_ptr<CaptureStream> stream;
  std::shared_ptr<StreamSink> sink;
  bool hooked = false;  // the environment's cleanup hook is registered

  // Stops at teardown, blocking: the environment is going and its streams with it.
  static void teardown(void* data) {
    auto* h = static_cast<Handle*>(data);
    h->hooked = false;
    h->sink->release();
    h->stream->stop();
  }

  void unhook() {
    if (!hooked) return;
    hooked = false;
    napi_remove_env_cleanup_hook(env, &Handle::teardown, this);
  }
};

void call_notify(napi_env env, napi_value notify, const char* kind, std::optional<Error> error) {
  napi_handle_scope scope = nullptr;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  Build name = make_string(env, kind);
  Build detail = error ? Build(to_js(env, std::move(*error))) : make_undefined(env);
  if (name.ok() && detail.ok()) {
    napi_value args[2] = {name.value(), detail.value()};
    call_reporting(env, notify, 2, args);
  } else {
    report_pending_exception(env);
  }
  napi_close_handle_scope(env, scope);
}

void drain(napi_env env, napi_value notify, void* context, void*) {
  if (env == nullptr) return;  // the function is being torn down
  auto* sink = static_cast<StreamSink*>(context);
  bool frames = false;
  std::optional<Error> ending;
  {
    std::lock_guard<std::mutex> lock(sink->mutex);
    if (!sink->alive) return;
    std::swap(frames, sink->frames);
    ending.swap(sink->ending);
  }
  if (frames) call_notify(env, notify, "frames", std::nullopt);
  if (ending) call_notify(env, notify, "error", std::move(ending));
}

void tsfn_finalized(napi_env, void* data, void*) {
  std::unique_ptr<std::shared_ptr<StreamSink>> sink(static_cast<std::shared_ptr<StreamSink>*>(data));
  std::lock_guard<std::mutex> lock((*sink)->mutex);
  (*sink)->alive = false;
}

void handle_finalized(napi_env, void* data, void*) {
  std::unique_ptr<Handle> handle(static_cast<Handle*>(data));
  handle->unhook();
  handle->sink->release();
  // Unreachable from JavaScript, hence stopped or never started; a stop still
  // running on the pool holds its own reference.
}

Result<Handle*> this_handle(napi_env env, napi_callback_info info) {
  napi_value self = nullptr;
  size_t argc = 0;
  napi_status s = napi_get_cb_info(env, info, &argc, nullptr, &self, nullptr);
  if (s != napi_ok) return napi_error(s, "Failed to read the capture stream");
  void* data = nullptr;
  s = napi_unwrap(env, self, &data);
  if (s != napi_ok || data == nullptr) return Error(Status::InvalidArg, "Not a capture stream handle");
  return static_cast<Handle*>(data);
}

napi_value handle_start(napi_env env, napi_callback_info info) {
  auto handle = this_handle(env, info);
  if (!handle.ok()) return fail(env, handle.take_error());
  return start_promise<Unit>(
      env, Where::Blocking, [stream = handle.value()->stream] { return stream->start(); },
      [](napi_env e, const Unit&) { return make_undefined(e); });
}

napi_value handle_stop(napi_env env, napi_callback_info info) {
  auto handle = this_handle(env, info);
  if (!handle.ok()) return fail(env, handle.take_error());
  Handle* h = handle.value();
  h->unhook();
  h->sink->release();
  return start_promise<Unit>(
      env, Where::Blocking,
      [stream = h->stream]() -> Result<Unit> {
        stream->stop();
        return Unit{};
      },
      [](napi_env e, const Unit&) { return make_undefined(e); });
}

napi_value handle_take(napi_env env, napi_callback_info info) {
  auto handle = this_handle(env, info);
  if (!handle.ok()) return fail(env, handle.take_error());
  std::optional<StreamFrame> frame = handle.value()->stream->take();
  if (!frame) {
    napi_value null = nullptr;
    napi_get_null(env, &null);
    return null;
  }
  Screenshot& image = frame->image;
  Build made = make_object(env, {
                                    {"buffer", [&](napi_env e) { return make_buffer(e, std::move(image.bytes)); }},
                                    {"width", image.width},
                                    {"height", image.height},
                                    {"format", [&](napi_env e) { return make_string(e, format_name(image.format)); }},
                                    {"scale", image.scale},
                                    {"timestamp", frame->timestamp},
                                    {"sequence", static_cast<double>(frame->sequence)},
                                });
  if (!made.ok()) return fail(env, made.take_error());
  return made.value();
}

napi_value handle_stats(napi_env env, napi_callback_info info) {
  auto handle = this_handle(env, info);
  if (!handle.ok()) return fail(env, handle.take_error());
  StreamStats stats = handle.value()->stream->stats();
  Build made = make_object(env, {
                                    {"produced", static_cast<double>(stats.produced)},
                                    {"delivered", static_cast<double>(stats.delivered)},
                                    {"dropped", static_cast<double>(stats.dropped)},
                                });
  if (!made.ok()) return fail(env, made.take_error());
  return made.value();
}

}  // namespace

Build make_stream_handle(napi_env env, StreamRequest request, napi_value notify) {
  auto sink = std::make_shared<StreamSink>();
  auto handle = std::make_unique<Handle>();
  handle->env = env;
  handle->sink = sink;
  handle->stream = CaptureStream::create(std::move(request), sink);

  napi_value name = nullptr, object = nullptr;
  napi_status s = napi_create_string_utf8(env, "deskcap.stream", NAPI_AUTO_LENGTH, &name);
  auto tsfn_share = std::make_unique<std::shared_ptr<StreamSink>>(sink);
  if (s == napi_ok)
    s = napi_create_threadsafe_function(env, notify, nullptr, name, 0, 1, tsfn_share.get(), tsfn_finalized,
                                        sink.get(), drain, &sink->tsfn);
  if (s != napi_ok) return napi_error(s, "Failed to create the capture stream's channel");
  tsfn_share.release();  // the finaliser's now
  s = napi_create_object(env, &object);
  napi_property_descriptor methods[] = {
      {"start", nullptr, handle_start, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"stop", nullptr, handle_stop, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"take", nullptr, handle_take, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"stats", nullptr, handle_stats, nullptr, nullptr, nullptr, napi_default, nullptr},
  };
  if (s == napi_ok) s = napi_define_properties(env, object, 4, methods);
  if (s == napi_ok) s = napi_wrap(env, object, handle.get(), handle_finalized, nullptr, nullptr);
  if (s != napi_ok) {
    sink->release();
    return napi_error(s, "Failed to create the capture stream");
  }
  Handle* h = handle.release();  // the wrap's now
  if (napi_add_env_cleanup_hook(env, &Handle::teardown, h) == napi_ok) h->hooked = true;
  return object;
}

}  // namespace deskcap::js
