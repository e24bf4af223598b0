// Promises settled from the worker pool: a deferred handle paired with its
// environment's one thread-safe function, whose call-into-JavaScript callback
// settles it.
#pragma once

#include <node_api.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "core/error.h"
#include "addon/convert.h"
#include "addon/js_error.h"
#include "addon/runtime.h"

namespace deskcap::js {

// Builds the resolved value on the JavaScript thread.
using ValueBuilder = std::function<Build(napi_env)>;

class JsDeferred {
 public:
  // JavaScript thread. The Promise goes back to JavaScript; the deferred goes
  // into the work.
  static Result<std::pair<std::shared_ptr<JsDeferred>, napi_value>> create(napi_env env);
  ~JsDeferred();
  JsDeferred(const JsDeferred&) = delete;
  JsDeferred& operator=(const JsDeferred&) = delete;

  // Any thread; the first of resolve/reject wins, later calls do nothing.
  void resolve(ValueBuilder build);
  void reject(Error error);

  struct Channel;  // shared with the thread-safe function's finaliser

 private:
  JsDeferred();
  void settle(ValueBuilder build, std::optional<Error> error);

  std::atomic<bool> used_{false};
  std::shared_ptr<Channel> channel_;
  napi_deferred deferred_ = nullptr;
};

enum class Where { Scheduler, Blocking };

// Promises whose work has not settled them yet (nor been dropped unrun), in
// every environment. A settlement is counted before JavaScript can see it.
size_t work_in_flight();

// Starts `work` on the pool and returns the Promise, or nullptr with an
// exception pending. `build` turns the work's value into JavaScript.
template <class T, class BuildFn>
napi_value start_promise(napi_env env, Where where, std::function<Result<T>()> work, BuildFn build) {
  auto created = JsDeferred::create(env);
  if (!created.ok()) {
    throw_error(env, created.take_error());
    return nullptr;
  }
  auto [deferred, promise] = created.take();
  try {
    auto body = [deferred, work = std::move(work), build]() {
      Result<T> outcome = work();
      if (!outcome.ok()) {
        deferred->reject(outcome.take_error());
        return;
      }
      auto value = std::make_shared<T>(outcome.take());
      deferred->resolve([value, build](napi_env e) { return build(e, *value); });
    };
    auto pool = runtime();
    if (where == Where::Scheduler) {
      pool->spawn(std::move(body), [deferred](std::optional<std::string> text) {
        deferred->reject(Error(text ? *text : std::string("Panic in async function")));
      });
    } else {
      pool->spawn_blocking(std::move(body), [deferred](const Fault& fault) {
        deferred->reject(Error("Device work did not finish: " + fault.describe()));
      });
    }
  } catch (...) {
    // The Promise never reaches JavaScript (the guard throws instead): settle
    // it so that its channel is released and the event loop not held.
    deferred->resolve([](napi_env e) { return make_undefined(e); });
    throw;
  }
  return promise;
}

}  // namespace deskcap::js
