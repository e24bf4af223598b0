#include "addon/runtime.h"

#include <mutex>
#include <shared_mutex>

#include "addon/js_error.h"
#include "addon/test_interleave.h"

namespace deskcap::js {
namespace {

struct Slot {
  std::shared_mutex lock;
  int64_t environments = 0;
  std::shared_ptr<WorkerPool> pool;
};

// Never destroyed: pool threads may outlive static destruction at process exit.
Slot& slot() {
  static Slot& s = *new Slot;
  return s;
}

}  // namespace

int64_t hold_runtime() {
  Slot& s = slot();
  std::unique_lock<std::shared_mutex> lock(s.lock);
  if (!s.pool) {
    try {
      WorkerPool::Options options;
      options.scheduler_workers = WorkerPool::worker_count_from_environment();
      s.pool = std::make_shared<WorkerPool>(options);
    } catch (...) {
      fatal("Create async runtime failed");
    }
  }
  return s.environments++;
}

void release_runtime() {
  Slot& s = slot();
  std::shared_ptr<WorkerPool> pool;
  {
    std::unique_lock<std::shared_mutex> lock(s.lock);
    if (--s.environments == 0) pool = std::move(s.pool);
  }
  if (!pool) return;
  interleave_in_teardown();
  // Out of the slot nobody can reach it; shutting it down drops queued work,
  // which is best done without the lock.
  pool->shutdown();
}

std::shared_ptr<WorkerPool> runtime() {
  std::shared_lock<std::shared_mutex> lock(slot().lock);
  if (!slot().pool) fatal("Access async runtime failed in spawn");
  return slot().pool;
}

}  // namespace deskcap::js
