#include "addon/deferred.h"

#include <atomic>
#include <mutex>

#include "addon/env_state.h"
#include "addon/js_error.h"
#include "addon/runtime.h"

namespace deskcap::js {

// One per environment: the thread-safe function every Promise of that
// environment settles through. Created with the first Promise, referenced
// only while Promises are pending, finalised by the host at teardown; the
// lock guards calls into it against that finalisation (calling it afterwards
// would be a use after free inside Node), and settlements then are dropped.
// Settled tasks wait in a list; only the one that finds it empty calls the
// function, so a burst of settlements wakes the JavaScript thread once.
struct Channel {
  std::mutex mutex;
  bool alive = true;
  napi_threadsafe_function tsfn = nullptr;
  PendingPromise* head = nullptr;  // owned, oldest first
  PendingPromise* tail = nullptr;
  size_t pending = 0;  // JavaScript thread only

  PendingPromise* take_all() {
    PendingPromise* all = head;
    head = tail = nullptr;
    return all;
  }
  // The first of a taken list, which moves on to the next.
  static std::unique_ptr<PendingPromise> pop(PendingPromise*& list) {
    return std::unique_ptr<PendingPromise>(std::exchange(list, list->next_));
  }
  static void free_all(PendingPromise* list) {
    while (list != nullptr) pop(list);
  }
};

namespace {

std::atomic<size_t> g_work_in_flight{0};

void channel_finalized(napi_env, void* data, void*) {
  std::unique_ptr<std::shared_ptr<Channel>> holder(static_cast<std::shared_ptr<Channel>*>(data));
  PendingPromise* dropped = nullptr;
  {
    std::lock_guard<std::mutex> lock((*holder)->mutex);
    (*holder)->alive = false;
    dropped = (*holder)->take_all();
  }
  Channel::free_all(dropped);
}

// The JavaScript side of the channel (its context): settles and frees every
// waiting task.
void drain_on_js_thread(napi_env env, napi_value, void* context, void*) {
  if (env == nullptr) return;  // the function is being torn down
  auto* channel = static_cast<Channel*>(context);
  PendingPromise* next = nullptr;
  {
    std::lock_guard<std::mutex> lock(channel->mutex);
    next = channel->take_all();
  }
  // A handle scope per few settlements bounds the handles a long batch makes.
  constexpr int kPerScope = 32;
  while (next != nullptr) {
    napi_handle_scope scope = nullptr;
    if (napi_open_handle_scope(env, &scope) != napi_ok) scope = nullptr;
    for (int i = 0; i < kPerScope && next != nullptr; ++i) {
      Channel::pop(next)->settle(env);
      report_pending_exception(env);
    }
    if (scope != nullptr) napi_close_handle_scope(env, scope);
  }
}

// The environment's channel, made on first use (or again once the last one
// was finalised).
Result<std::shared_ptr<Channel>> channel_for(napi_env env, EnvState* state) {
  if (state == nullptr) return Error(Status::GenericFailure, "Create threadsafe function in JsDeferred failed");
  // Only this thread marks a channel dead (its finaliser runs here): no lock.
  if (state->channel && state->channel->alive) return state->channel;
  napi_value name = nullptr;
  // The length (22) takes the terminating NUL into the name: tools that trace async
  // resources see the name with it.
  napi_status s = napi_create_string_utf8(env, "napi_resolve_deferred", 22, &name);
  if (s != napi_ok) return napi_error(s, "Create async resource name in JsDeferred failed");
  auto channel = std::make_shared<Channel>();
  auto holder = std::make_unique<std::shared_ptr<Channel>>(channel);
  s = napi_create_threadsafe_function(env, nullptr, nullptr, name, 0, 1, holder.get(), channel_finalized,
                                      channel.get(), drain_on_js_thread, &channel->tsfn);
  if (s != napi_ok) return napi_error(s, "Create threadsafe function in JsDeferred failed");
  holder.release();  // the finaliser's now
  // Idle until a Promise is pending.
  s = napi_unref_threadsafe_function(env, channel->tsfn);
  if (s != napi_ok) return napi_error(s, "Create threadsafe function in JsDeferred failed");
  state->channel = channel;
  return channel;
}

void resolve_undefined(napi_env env, napi_deferred deferred) {
  napi_value undefined = nullptr;
  napi_get_undefined(env, &undefined);
  napi_resolve_deferred(env, deferred, undefined);
}

}  // namespace

size_t work_in_flight() { return g_work_in_flight.load(); }

// Counted in and out on the JavaScript thread: the pool threads touch the
// shared count only when they drop a task unsettled.
PendingPromise::PendingPromise(Where where) : where_(where) { g_work_in_flight.fetch_add(1); }

// Destroyed unsettled: the work never ran (the pool shut down), never ended,
// or its environment closed first.
PendingPromise::~PendingPromise() {
  if (!settled_) g_work_in_flight.fetch_sub(1);
}

bool PendingPromise::claim() {
  if (decided_) return false;
  decided_ = true;
  return true;
}

void PendingPromise::succeed() { claim(); }

void PendingPromise::fail(Error error) {
  if (claim()) error_ = std::move(error);
}

void PendingPromise::fault(const Fault& fault) {
  if (where_ == Where::Scheduler)
    fail(Error(fault.message ? *fault.message : std::string("Panic in async function")));
  else
    fail(Error("Device work did not finish: " + fault.describe()));
}

void PendingPromise::finished(std::unique_ptr<Task> self) noexcept {
  if (!decided_) return;  // `self` frees it
  auto* task = static_cast<PendingPromise*>(self.release());
  // While the channel is alive its thread-safe function holds it; a task may
  // hold the last reference only once it is not, so such a task is freed
  // after the lock is let go.
  Channel& channel = *task->channel_;
  std::unique_lock<std::mutex> lock(channel.mutex);
  // Once the environment is closing the Promise can no longer settle: what the
  // task carries is freed rather than leaked.
  if (!channel.alive) {
    lock.unlock();
    delete task;
    return;
  }
  if (channel.tail != nullptr) {
    channel.tail->next_ = task;
    channel.tail = task;
    return;
  }
  channel.head = channel.tail = task;
  if (napi_call_threadsafe_function(channel.tsfn, nullptr, napi_tsfn_nonblocking) != napi_ok) {
    PendingPromise* dropped = channel.take_all();
    lock.unlock();
    Channel::free_all(dropped);
  }
}

void PendingPromise::settle(napi_env env) {
  settled_ = true;
  g_work_in_flight.fetch_sub(1);
  std::optional<Error> error = std::move(error_);
  napi_value result = nullptr;
  if (!error) {
    try {
      Build built = value(env);
      if (built.ok()) result = built.value();
      else error = built.take_error();
    } catch (const std::exception& e) {
      error = Error(e.what());
    }
  }
  // The last pending Promise lets the process end again.
  if (--channel_->pending == 0) {
    napi_status s = napi_unref_threadsafe_function(env, channel_->tsfn);
    if (s != napi_ok) error = napi_error(s, "Release threadsafe function in JsDeferred failed");
  }
  if (!error) {
    napi_status s = napi_resolve_deferred(env, deferred_, result);
    if (s == napi_ok) return;
    error = napi_error(s, "Resolve deferred value failed");
  }
  auto reason = to_js(env, std::move(*error));
  if (reason.ok()) napi_reject_deferred(env, deferred_, reason.value());
}

napi_value start_pending(napi_env env, std::unique_ptr<PendingPromise> pending) {
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  napi_status s = napi_create_promise(env, &deferred, &promise);
  if (s != napi_ok) {
    throw_error(env, napi_error(s, "Create promise in JsDeferred failed"));
    return nullptr;
  }
  EnvState* state = env_state(env);
  auto channel = channel_for(env, state);
  if (channel.ok() && channel.value()->pending == 0) {
    s = napi_ref_threadsafe_function(env, channel.value()->tsfn);
    if (s != napi_ok) channel = napi_error(s, "Create threadsafe function in JsDeferred failed");
  }
  if (!channel.ok()) {
    // The Promise never reaches JavaScript; settle it so the deferred is freed.
    resolve_undefined(env, deferred);
    throw_error(env, channel.take_error());
    return nullptr;
  }
  std::shared_ptr<Channel> held = channel.take();
  ++held->pending;
  pending->deferred_ = deferred;
  pending->channel_ = held;
  try {
    // A channel means a state, which keeps the pool this environment first found.
    if (!state->pool) state->pool = runtime();
    WorkerPool& pool = *state->pool;
    if (pending->where_ == Where::Scheduler) pool.spawn(std::move(pending));
    else pool.spawn_blocking(std::move(pending));
  } catch (...) {
    // The Promise never reaches JavaScript (the guard throws instead): settle
    // it so that the channel is released and the event loop not held.
    if (--held->pending == 0) napi_unref_threadsafe_function(env, held->tsfn);
    resolve_undefined(env, deferred);
    throw;
  }
  return promise;
}

}  // namespace deskcap::js
