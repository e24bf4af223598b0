// Promises settled from the worker pool. Each call makes one pool task that
// carries its deferred: the work runs on a pool thread, then the task goes
// back through its environment's one thread-safe function (the channel) and is
// settled and freed on the JavaScript thread.
#pragma once

#include <node_api.h>

#include <memory>
#include <optional>
#include <utility>

#include "addon/convert.h"
#include "core/error.h"
#include "core/pool.h"

namespace deskcap::js {

enum class Where { Scheduler, Blocking };

struct Channel;

class PendingPromise : public Task {
 public:
  ~PendingPromise() override;
  PendingPromise(const PendingPromise&) = delete;
  PendingPromise& operator=(const PendingPromise&) = delete;

  void fault(const Fault& fault) final;
  void finished(std::unique_ptr<Task> self) noexcept final;

  // JavaScript thread, from the channel: resolves or rejects the Promise.
  void settle(napi_env env);

 protected:
  explicit PendingPromise(Where where);
  // Pool thread: the work's outcome. The first of succeed/fail wins.
  void succeed();
  void fail(Error error);
  // JavaScript thread: the resolved value, after succeed().
  virtual Build value(napi_env env) = 0;

 private:
  friend napi_value start_pending(napi_env env, std::unique_ptr<PendingPromise> pending);
  friend struct Channel;
  bool claim();

  const Where where_;
  bool decided_ = false;  // pool thread only
  bool settled_ = false;  // JavaScript thread only
  std::optional<Error> error_;
  napi_deferred deferred_ = nullptr;
  std::shared_ptr<Channel> channel_;
  PendingPromise* next_ = nullptr;  // in the channel's queue
};

// Promises not settled yet (nor dropped unsettled), in every environment. A
// settlement is counted out before JavaScript can see it.
size_t work_in_flight();

// Creates the Promise and hands its task to the pool: the Promise, or nullptr
// with an exception pending.
napi_value start_pending(napi_env env, std::unique_ptr<PendingPromise> pending);

template <class T, class WorkFn, class BuildFn>
class PromiseWork final : public PendingPromise {
 public:
  PromiseWork(Where where, WorkFn work, BuildFn build)
      : PendingPromise(where), work_(std::move(work)), build_(std::move(build)) {}

  void run() override {
    Result<T> outcome = work_();
    if (!outcome.ok()) return fail(outcome.take_error());
    value_.emplace(outcome.take());
    succeed();
  }

 private:
  Build value(napi_env env) override { return build_(env, *value_); }

  WorkFn work_;
  BuildFn build_;
  std::optional<T> value_;
};

// Starts `work` (answering Result<T>) on the pool and returns the Promise, or
// nullptr with an exception pending. `build` turns the value into JavaScript.
template <class T, class WorkFn, class BuildFn>
napi_value start_promise(napi_env env, Where where, WorkFn work, BuildFn build) {
  return start_pending(env, std::make_unique<PromiseWork<T, WorkFn, BuildFn>>(where, std::move(work),
                                                                              std::move(build)));
}

}  // namespace deskcap::js
