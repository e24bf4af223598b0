#include "core/pool.h"

#include "core/thread_start.h"
#include "core/utf8.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace deskcap {

namespace {

// Enough for the native calls and PNG encoding; 512 blocking threads at the
// platform default (8 MiB here) would reserve 4 GiB of address space.
constexpr size_t kThreadStackBytes = 2 * 1024 * 1024;

uint64_t next_task_id() {
  static std::atomic<uint64_t>& next = *new std::atomic<uint64_t>(1);
  return next.fetch_add(1, std::memory_order_relaxed);
}

// Thread-cancellation unwinding (glibc) must pass through a catch-all.
#if defined(__GLIBCXX__)
#define DESKCAP_RETHROW_FORCED_UNWIND \
  catch (abi::__forced_unwind&) {     \
    throw;                            \
  }
#else
#define DESKCAP_RETHROW_FORCED_UNWIND
#endif

}  // namespace

std::string quote_fault_text(const std::string& text) {
  // Ill-formed bytes become U+FFFD first, so every escape below sees whole
  // characters; the C1 controls are the only multi-byte ones to escape.
  const std::string valid = repair_utf8(text);
  std::string out;
  out.reserve(valid.size() + 2);
  out += '"';
  for (size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    unsigned control = 0x100;
    if (c < 0x20 || c == 0x7F) {
      control = c;
    } else if (c == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) <= 0x9F) {
      control = static_cast<unsigned char>(valid[++i]);
    }
    if (control == 0x100) {
      if (c == '"' || c == '\\') out += '\\';
      out += static_cast<char>(c);
      continue;
    }
    switch (control) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\u{%x}", control);
        out += buf;
      }
    }
  }
  out += '"';
  return out;
}

std::string Fault::describe() const {
  std::string out = "task " + std::to_string(task_id);
  if (kind == Kind::Cancelled) return out + " was cancelled";
  out += " panicked";
  if (message) out += " with message " + quote_fault_text(*message);
  return out;
}

size_t WorkerPool::worker_count_from_environment() {
  if (const char* text = std::getenv("TOKIO_WORKER_THREADS")) {
    const char* p = text;
    if (*p == '+') ++p;
    size_t value = 0;
    bool ok = *p != '\0';
    for (; ok && *p != '\0'; ++p) {
      if (*p < '0' || *p > '9') {
        ok = false;
        break;
      }
      const size_t digit = static_cast<size_t>(*p - '0');
      if (value > (SIZE_MAX - digit) / 10) {
        ok = false;
        break;
      }
      value = value * 10 + digit;
    }
    if (ok && value > 0) return value;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online < 1 ? 1 : static_cast<size_t>(online);
}

struct WorkerPool::Shared {
  struct Queued {
    uint64_t id = 0;
    std::unique_ptr<Task> task;
  };

  // A bound of 0 could never run blocking work; it counts as 1.
  explicit Shared(const Options& o)
      : max_blocking(std::max<size_t>(o.max_blocking_threads, 1)),
        idle_timeout(std::chrono::milliseconds(std::max<int64_t>(o.blocking_idle_ms, 0))) {}

  const size_t max_blocking;
  const std::chrono::milliseconds idle_timeout;

  // Tasks under `mutex`; idle threads sleep on a condition variable until
  // one is queued, so an idle pool costs no processor time.
  struct TaskQueue {
    std::deque<Queued> items;

    bool empty() const { return items.empty(); }
    size_t size() const { return items.size(); }
    void push(Queued queued) { items.push_back(std::move(queued)); }
    Queued pop() {
      Queued front = std::move(items.front());
      items.pop_front();
      return front;
    }
    std::deque<Queued> take_all() {
      std::deque<Queued> all;
      all.swap(items);
      return all;
    }
  };

  std::mutex mutex;
  std::condition_variable work_ready;      // scheduler workers wait here
  // Workers asleep on work_ready, and how many of them a spawn has already
  // woken: a burst of tasks wakes each sleeper once, not once per task.
  size_t sleeping = 0;
  size_t woken = 0;
  std::condition_variable blocking_ready;  // idle blocking threads wait here
  bool stopped = false;
  size_t workers = 0;
  TaskQueue queue;
  TaskQueue blocking_queue;
  size_t blocking_alive = 0;
  size_t blocking_idle = 0;

  // The thread side; members so that they may name this type.
  using Body = void (*)(Shared&);
  static int start_thread(const std::shared_ptr<Shared>& shared, const char* name, Body body);
  static void run_task(Queued& queued);
  static void scheduler_main(Shared& s);
  static void blocking_main(Shared& s);
};

// Answers 0 or the errno of the failure.
int WorkerPool::Shared::start_thread(const std::shared_ptr<Shared>& shared, const char* name, Body body) {
  // The thread's own reference keeps the state alive after the pool is gone.
  return start_detached_thread(name, kThreadStackBytes, [shared, body] { body(*shared); });
}

namespace {

// Runs fn; an escaping exception is a fault: its what() when it has one.
// Answers nullopt when fn returned normally.
template <class Fn>
std::optional<std::optional<std::string>> run_catching(Fn&& fn) {
  try {
    fn();
    return std::nullopt;
  }
  DESKCAP_RETHROW_FORCED_UNWIND
  catch (const std::exception& e) {
    return std::optional<std::string>(e.what());
  } catch (...) {
    return std::optional<std::string>();
  }
}

}  // namespace

void WorkerPool::Shared::run_task(Queued& queued) {
  Task* task = queued.task.get();
  auto fault = run_catching([&] { task->run(); });
  if (fault) run_catching([&] { task->fault(Fault{queued.id, Fault::Kind::Panicked, std::move(*fault)}); });
  task->finished(std::move(queued.task));
}

void WorkerPool::Shared::scheduler_main(Shared& s) {
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    while (!s.stopped && s.queue.empty()) {
      ++s.sleeping;
      s.work_ready.wait(lock);
      --s.sleeping;
      if (s.woken > 0) --s.woken;
    }
    if (s.stopped) return;
    {
      Queued next = s.queue.pop();
      // Work left over: a sleeper takes it (woken from here rather than by
      // the spawning thread).
      const bool wake = !s.queue.empty() && s.sleeping > s.woken;
      if (wake) ++s.woken;
      lock.unlock();
      if (wake) s.work_ready.notify_one();
      run_task(next);
    }  // the task is gone before the lock is taken again
    lock.lock();
  }
}

void WorkerPool::Shared::blocking_main(Shared& s) {
  std::unique_lock<std::mutex> lock(s.mutex);
  // Counted alive from its start (by spawn_blocking) until it leaves, however it leaves.
  struct Leave {
    Shared& s;
    std::unique_lock<std::mutex>& lock;
    ~Leave() {
      if (!lock.owns_lock()) lock.lock();
      --s.blocking_alive;
    }
  } leave{s, lock};
  for (;;) {
    if (!s.stopped && s.blocking_queue.empty()) {
      const auto deadline = std::chrono::steady_clock::now() + s.idle_timeout;
      ++s.blocking_idle;
      const bool woke = s.blocking_ready.wait_until(
          lock, deadline, [&] { return s.stopped || !s.blocking_queue.empty(); });
      --s.blocking_idle;
      if (!woke) return;  // idle too long: retire
    }
    if (s.stopped) return;
    {
      Queued next = s.blocking_queue.pop();
      lock.unlock();
      run_task(next);
    }
    lock.lock();
  }
}

WorkerPool::WorkerPool(Options options)
    : shared_(std::make_shared<Shared>(options)) {
  const size_t wanted = std::max<size_t>(options.scheduler_workers, 1);
  size_t started = 0;
  for (size_t i = 0; i < wanted; ++i) {
    if (Shared::start_thread(shared_, "deskcap-worker", Shared::scheduler_main) != 0) break;
    ++started;
  }
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->workers = started;
  // With no worker at all nothing could ever run: refuse work instead of queueing it.
  if (started == 0) shared_->stopped = true;
}

WorkerPool::~WorkerPool() { shutdown(); }

uint64_t WorkerPool::spawn(std::unique_ptr<Task> task) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (shared_->stopped) {
    lock.unlock();
    task.reset();
    return 0;
  }
  const uint64_t id = next_task_id();
  shared_->queue.push(Shared::Queued{id, std::move(task)});
  const bool wake = shared_->sleeping > shared_->woken;
  if (wake) ++shared_->woken;
  lock.unlock();
  if (wake) shared_->work_ready.notify_one();
  return id;
}

uint64_t WorkerPool::spawn_blocking(std::unique_ptr<Task> task) {
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.stopped) {
    lock.unlock();
    task.reset();
    return 0;
  }
  const uint64_t id = next_task_id();
  s.blocking_queue.push(Shared::Queued{id, std::move(task)});
  // Idle threads each take one queued task; start a thread only for the
  // excess, within the bound. Beyond it the task waits for a free thread.
  const bool start_one =
      s.blocking_queue.size() > s.blocking_idle && s.blocking_alive < s.max_blocking;
  if (!start_one) {
    lock.unlock();
    s.blocking_ready.notify_one();
    return id;
  }
  ++s.blocking_alive;
  lock.unlock();
  const int rc = Shared::start_thread(shared_, "deskcap-block", Shared::blocking_main);
  if (rc == 0) return id;

  // No thread could be started. Running threads will pick the task up; with
  // none alive it would wait forever, so every queued task faults instead.
  std::deque<Shared::Queued> orphans;
  lock.lock();
  --s.blocking_alive;
  if (s.blocking_alive == 0) orphans = s.blocking_queue.take_all();
  lock.unlock();
  const std::string text = std::string("could not start a blocking thread: ") + std::strerror(rc);
  for (auto& orphan : orphans) {
    Task* t = orphan.task.get();
    run_catching([&] { t->fault(Fault{orphan.id, Fault::Kind::Panicked, text}); });
    t->finished(std::move(orphan.task));
  }
  return id;
}

void WorkerPool::shutdown() {
  std::deque<Shared::Queued> dropped;
  std::deque<Shared::Queued> dropped_blocking;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stopped = true;
    dropped = shared_->queue.take_all();
    dropped_blocking = shared_->blocking_queue.take_all();
  }
  shared_->work_ready.notify_all();
  shared_->blocking_ready.notify_all();
  // `dropped*` are destroyed here, on the calling thread, outside the lock.
}

size_t WorkerPool::scheduler_workers() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->workers;
}

size_t WorkerPool::blocking_threads() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->blocking_alive;
}

}  // namespace deskcap
