// The process-wide worker pool: scheduler workers that run Promise work, and
// blocking threads (started on demand, at most 512 at once, idle ones retired)
// that run the native calls which block. Work never touches napi_env.
#pragma once

#include <cstddef>
#include <cstdint>
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

// A unit of pool work. The pool calls run() once on one of its threads; if
// run() throws, fault() there with what escaped; then finished(), which takes
// the task (by default it is destroyed). A task dropped unrun (the pool shut
// down) is destroyed on the thread that shut it down, neither run nor faulted.
class Task {
 public:
  virtual ~Task() = default;
  virtual void run() = 0;
  virtual void fault(const Fault& fault) = 0;
  virtual void finished(std::unique_ptr<Task> self) noexcept { self.reset(); }
};

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

  // Runs the task on a scheduler worker. Faults are Panicked, their message
  // the escaped exception's what() (none for a non-std exception). Answers the
  // task id, or 0 when the pool is shut down (the task is then destroyed here).
  uint64_t spawn(std::unique_ptr<Task> task);

  // Runs the task on a blocking thread without holding a scheduler worker;
  // tasks still queued at shutdown are dropped (Cancelled, the environment
  // being gone). Answers the task id, or 0 when shut down.
  uint64_t spawn_blocking(std::unique_ptr<Task> task);

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
