#include "addon/runtime.h"

#include <mutex>
#include <shared_mutex>

#include "addon/js_error.h"

namespace deskcap::js {
namespace {

struct Slot {
  std::shared_mutex lock;
  std::shared_ptr<WorkerPool> pool;
};

// Never destroyed: pool threads may outlive static destruction at process exit.
Slot& slot() {
  static Slot& s = *new Slot;
  return s;
}

}  // namespace

void ensure_runtime() {
  std::unique_lock<std::shared_mutex> lock(slot().lock);
  if (slot().pool) return;
  try {
    WorkerPool::Options options;
    options.scheduler_workers = WorkerPool::worker_count_from_environment();
    slot().pool = std::make_shared<WorkerPool>(options);
  } catch (...) {
    fatal("Create async runtime failed");
  }
}

void shutdown_runtime() {
  std::shared_ptr<WorkerPool> pool;
  {
    std::unique_lock<std::shared_mutex> lock(slot().lock);
    pool = std::move(slot().pool);
  }
  if (pool) pool->shutdown();
}

std::shared_ptr<WorkerPool> runtime() {
  std::shared_lock<std::shared_mutex> lock(slot().lock);
  if (!slot().pool) fatal("Access async runtime failed in spawn");
  return slot().pool;
}

}  // namespace deskcap::js
