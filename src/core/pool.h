// The process-wide worker pool: scheduler workers that run Promise work, and
// blocking threads (started on demand, at most 512 at once, idle ones retired)
// that run the native calls which block. Work never touches napi_env.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace deskcap {

// How a task ended abnormally, for the texts the Promise shows.
struct Fault {
  enum class Kind { Panicked, Cancelled };
  uint64_t task_id = 0;
  Kind kind = Kind::Panicked;
  std::optional<std::string> message;  // the escaped exception's what(), if any

  // "task 7 panicked with message \"boom\"", "task 7 panicked", "task 7 was cancelled".
  std::string describe() const;
};

// Quoting of a fault text for a rejection message: surrounding quotes, \" \\ \n \r
// \t \0, and \u{..} for other control characters.
std::string quote_fault_text(const std::string& text);

class WorkerPool {
 public:
  struct Options {
    size_t scheduler_workers = 1;
    size_t max_blocking_threads = 512;
    // How long an idle blocking thread waits for more work before it ends.
    int64_t blocking_idle_ms = 10000;
  };

  // The scheduler worker count: "TOKIO_WORKER_THREADS" when it is a positive
  // decimal integer (optional leading '+'), else the online processor count
  // (1 when that cannot be read). Never fails.
  static size_t worker_count_from_environment();

  explicit WorkerPool(Options options);
  // Shuts down (see shutdown()).
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs `work` on a scheduler worker. If it throws, `on_fault` runs on that
  // worker with the exception's what() (nullopt for a non-std exception).
  // Answers the task id, or 0 when the pool is shut down (then neither
  // function runs and both are destroyed on the calling thread).
  uint64_t spawn(std::function<void()> work,
                 std::function<void(std::optional<std::string> fault_text)> on_fault);

  // Runs `work` on a blocking thread without holding a scheduler worker. If it
  // throws, `on_fault` runs with a Panicked fault; if the pool shuts down before
  // it started, it is dropped (Cancelled: on_fault is not run, the environment
  // being gone). Answers the task id, or 0 when shut down.
  uint64_t spawn_blocking(std::function<void()> work, std::function<void(const Fault&)> on_fault);

  // Stops accepting work, drops queued tasks unrun (destroying them), and lets
  // every thread end. Does not wait for running blocking calls (a phone capture
  // may wait 60 s for a prompt); threads are detached and finish on their own,
  // never touching the pool after it is gone. Safe to call twice.
  void shutdown();

  size_t scheduler_workers() const;
  // Blocking threads alive right now (running or idle), for tests.
  size_t blocking_threads() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace deskcap
