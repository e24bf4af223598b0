#include "addon/deferred.h"

#include <unordered_map>

namespace deskcap::js {

// One per environment: the thread-safe function every Promise of that
// environment settles through. Created with the first Promise, referenced
// only while Promises are pending, finalised by the host at teardown; the
// lock guards calls into it against that finalisation (calling it afterwards
// would be a use after free inside Node), and settlements then are dropped.
struct JsDeferred::Channel {
  std::mutex mutex;
  bool alive = true;
  napi_threadsafe_function tsfn = nullptr;
  napi_env env = nullptr;
  size_t pending = 0;  // JavaScript thread only
};

namespace {

std::atomic<size_t> g_work_in_flight{0};

struct Message {
  napi_deferred deferred;
  std::optional<Error> error;
  ValueBuilder build;
};

// Environments with a channel. Never destroyed: Workers end at any time.
std::mutex& channels_lock() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::unordered_map<napi_env, std::shared_ptr<JsDeferred::Channel>>& channels() {
  static auto& map = *new std::unordered_map<napi_env, std::shared_ptr<JsDeferred::Channel>>;
  return map;
}

void channel_finalized(napi_env, void* data, void*) {
  auto* holder = static_cast<std::shared_ptr<JsDeferred::Channel>*>(data);
  {
    std::lock_guard<std::mutex> lock((*holder)->mutex);
    (*holder)->alive = false;
  }
  {
    std::lock_guard<std::mutex> lock(channels_lock());
    auto it = channels().find((*holder)->env);
    if (it != channels().end() && it->second == *holder) channels().erase(it);
  }
  delete holder;
}

// The resolver, on the JavaScript thread; the channel is the context.
void settle_on_js_thread(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<Message> message(static_cast<Message*>(data));
  if (env == nullptr) return;  // the function is being torn down: only free
  auto* channel = static_cast<JsDeferred::Channel*>(context);
  std::optional<Error> error = std::move(message->error);
  napi_value value = nullptr;
  if (!error) {
    Build built = message->build(env);
    if (built.ok()) value = built.value();
    else error = built.take_error();
  }
  // The last pending Promise lets the process end again.
  if (--channel->pending == 0) {
    napi_status s = napi_unref_threadsafe_function(env, channel->tsfn);
    if (s != napi_ok) error = napi_error(s, "Release threadsafe function in JsDeferred failed");
  }
  if (!error) {
    napi_status s = napi_resolve_deferred(env, message->deferred, value);
    if (s == napi_ok) return;
    error = napi_error(s, "Resolve deferred value failed");
  }
  auto reason = to_js(env, std::move(*error));
  if (reason.ok()) napi_reject_deferred(env, message->deferred, reason.value());
}

Result<std::shared_ptr<JsDeferred::Channel>> channel_of(napi_env env) {
  {
    std::lock_guard<std::mutex> lock(channels_lock());
    auto it = channels().find(env);
    if (it != channels().end()) return it->second;
  }
  napi_value name = nullptr;
  // The length (22) takes the terminating NUL into the name: tools that trace async
  // resources see the name with it.
  napi_status s = napi_create_string_utf8(env, "napi_resolve_deferred", 22, &name);
  if (s != napi_ok) return napi_error(s, "Create async resource name in JsDeferred failed");
  auto channel = std::make_shared<JsDeferred::Channel>();
  channel->env = env;
  auto* holder = new std::shared_ptr<JsDeferred::Channel>(channel);
  s = napi_create_threadsafe_function(env, nullptr, nullptr, name, 0, 1, holder, channel_finalized,
                                      channel.get(), settle_on_js_thread, &channel->tsfn);
  if (s != napi_ok) {
    delete holder;
    return napi_error(s, "Create threadsafe function in JsDeferred failed");
  }
  // Idle until a Promise is pending.
  s = napi_unref_threadsafe_function(env, channel->tsfn);
  if (s != napi_ok) return napi_error(s, "Create threadsafe function in JsDeferred failed");
  std::lock_guard<std::mutex> lock(channels_lock());
  channels()[env] = channel;
  return channel;
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
  auto channel = channel_of(env);
  if (channel.ok() && channel.value()->pending == 0) {
    s = napi_ref_threadsafe_function(env, channel.value()->tsfn);
    if (s != napi_ok) channel = napi_error(s, "Create threadsafe function in JsDeferred failed");
  }
  if (!channel.ok()) {
    // The Promise never reaches JavaScript; settle it so the deferred is freed.
    napi_value undefined = nullptr;
    napi_get_undefined(env, &undefined);
    napi_resolve_deferred(env, deferred, undefined);
    return channel.take_error();
  }
  ++channel.value()->pending;
  std::shared_ptr<JsDeferred> d(new JsDeferred);
  d->channel_ = channel.take();
  d->deferred_ = deferred;
  return std::make_pair(std::move(d), promise);
}

void JsDeferred::resolve(ValueBuilder build) { settle(std::move(build), std::nullopt); }
void JsDeferred::reject(Error error) { settle(nullptr, std::move(error)); }

void JsDeferred::settle(ValueBuilder build, std::optional<Error> error) {
  if (used_.exchange(true)) return;
  g_work_in_flight.fetch_sub(1);
  auto* message = new Message{deferred_, std::move(error), std::move(build)};
  std::lock_guard<std::mutex> lock(channel_->mutex);
  if (!channel_->alive ||
      napi_call_threadsafe_function(channel_->tsfn, message, napi_tsfn_blocking) != napi_ok) {
    // The environment is closing: the Promise can no longer settle; free what
    // the message carries rather than leak it.
    delete message;
  }
}

}  // namespace deskcap::js
