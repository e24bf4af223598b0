#include "addon/deferred.h"

namespace deskcap::js {

// Guards calls into the thread-safe function against its destruction: once the
// host has finalised it (the environment is going away), calling it would be a
// use after free inside Node, so the settlement is dropped instead.
struct JsDeferred::Channel {
  std::mutex mutex;
  bool alive = true;
  napi_threadsafe_function tsfn = nullptr;
  napi_deferred deferred = nullptr;
};

namespace {

std::atomic<size_t> g_work_in_flight{0};

struct Message {
  std::optional<Error> error;
  ValueBuilder build;
  napi_threadsafe_function tsfn;
};

void channel_finalized(napi_env, void* data, void*) {
  auto* holder = static_cast<std::shared_ptr<JsDeferred::Channel>*>(data);
  {
    std::lock_guard<std::mutex> lock((*holder)->mutex);
    (*holder)->alive = false;
  }
  delete holder;
}

// The resolver, on the JavaScript thread.
void settle_on_js_thread(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<Message> message(static_cast<Message*>(data));
  if (env == nullptr) return;  // the function is being torn down: only free
  auto deferred = static_cast<napi_deferred>(context);
  std::optional<Error> error = std::move(message->error);
  napi_value value = nullptr;
  if (!error) {
    Build built = message->build(env);
    if (built.ok()) value = built.value();
    else error = built.take_error();
  }
  napi_status s = napi_release_threadsafe_function(message->tsfn, napi_tsfn_release);
  if (s != napi_ok) error = napi_error(s, "Release threadsafe function in JsDeferred failed");
  if (!error) {
    s = napi_resolve_deferred(env, deferred, value);
    if (s == napi_ok) return;
    error = napi_error(s, "Resolve deferred value failed");
  }
  auto reason = to_js(env, std::move(*error));
  if (reason.ok()) napi_reject_deferred(env, deferred, reason.value());
}

}  // namespace

size_t work_in_flight() { return g_work_in_flight.load(); }

JsDeferred::JsDeferred() { g_work_in_flight.fetch_add(1); }

// Dropped unsettled: the work never ran (the pool shut down).
JsDeferred::~JsDeferred() {
  if (!used_.load()) g_work_in_flight.fetch_sub(1);
}

Result<std::pair<std::shared_ptr<JsDeferred>, napi_value>> JsDeferred::create(napi_env env) {
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  napi_status s = napi_create_promise(env, &deferred, &promise);
  if (s != napi_ok) return napi_error(s, "Create promise in JsDeferred failed");
  napi_value name = nullptr;
  // The name's length counts its terminating NUL, as the original resource name did.
  s = napi_create_string_utf8(env, "napi_resolve_deferred", 22, &name);
  if (s != napi_ok) return napi_error(s, "Create async resource name in JsDeferred failed");
  auto channel = std::make_shared<Channel>();
  auto* holder = new std::shared_ptr<Channel>(channel);
  napi_threadsafe_function tsfn = nullptr;
  s = napi_create_threadsafe_function(env, nullptr, nullptr, name, 0, 1, holder, channel_finalized,
                                      deferred, settle_on_js_thread, &tsfn);
  if (s != napi_ok) {
    delete holder;
    // The Promise never reaches JavaScript; settle it so the deferred is freed.
    napi_value undefined = nullptr;
    napi_get_undefined(env, &undefined);
    napi_resolve_deferred(env, deferred, undefined);
    return napi_error(s, "Create threadsafe function in JsDeferred failed");
  }
  channel->tsfn = tsfn;
  channel->deferred = deferred;
  std::shared_ptr<JsDeferred> d(new JsDeferred);
  d->channel_ = std::move(channel);
  return std::make_pair(std::move(d), promise);
}

void JsDeferred::resolve(ValueBuilder build) { settle(std::move(build), std::nullopt); }
void JsDeferred::reject(Error error) { settle(nullptr, std::move(error)); }

void JsDeferred::settle(ValueBuilder build, std::optional<Error> error) {
  if (used_.exchange(true)) return;
  g_work_in_flight.fetch_sub(1);
  auto* message = new Message{std::move(error), std::move(build), nullptr};
  std::lock_guard<std::mutex> lock(channel_->mutex);
  message->tsfn = channel_->tsfn;
  if (!channel_->alive ||
      napi_call_threadsafe_function(channel_->tsfn, message, napi_tsfn_blocking) != napi_ok) {
    // The environment is closing: the Promise can no longer settle; free what
    // the message carries rather than leak it.
    delete message;
  }
}

}  // namespace deskcap::js
