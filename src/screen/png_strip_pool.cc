#include "screen/png_strip_pool.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <utility>

#include "core/thread_start.h"

namespace deskcap {
namespace {

// Long enough that captures in a burst find warm buffers, short enough that an
// app which captured once does not keep them.
constexpr auto kIdleRelease = std::chrono::seconds(5);
// Filtering and deflate need little stack.
constexpr size_t kStackBytes = 512 * 1024;

struct Group {
  const StripPool::Job* job = nullptr;
  std::vector<std::unique_ptr<StripScratch>> scratch;
  size_t remaining = 0;
  std::condition_variable done;
};

}  // namespace

StripScratch::~StripScratch() {
  if (stream_ready) deflateEnd(&stream);
}

struct StripPool::State {
  std::mutex mutex;
  std::condition_variable work_ready;
  std::deque<std::pair<Group*, size_t>> queue;
  std::vector<std::unique_ptr<StripScratch>> spares;
  bool started = false;
  bool dirty = false;  // work ran since the last trim
  // One idle thread at most keeps the time until the trim; the others sleep
  // until there is work, so an idle pool wakes once, not once per thread.
  bool timing = false;
  std::chrono::steady_clock::time_point last_done;
  size_t threads = 0;
  size_t busy = 0;
  size_t most_busy = 0;

  void serve();
  void trim_when_idle(std::unique_lock<std::mutex>& lock);
};

StripPool& StripPool::shared() {
  static StripPool& pool = *new StripPool;
  return pool;
}

StripPool::State& StripPool::state() {
  static State& s = *new State;
  return s;
}

// With `lock` held and the queue empty: waits until work is queued, or frees
// the spares once no strip has ended for kIdleRelease.
void StripPool::State::trim_when_idle(std::unique_lock<std::mutex>& lock) {
  timing = true;
  while (queue.empty() && dirty) {
    // Strips ended on other threads meanwhile move the deadline on.
    const auto deadline = last_done + kIdleRelease;
    if (work_ready.wait_until(lock, deadline, [&] { return !queue.empty(); })) break;
    if (last_done + kIdleRelease > deadline) continue;
    dirty = false;
    auto freed = std::move(spares);
    spares.clear();
    lock.unlock();
    freed.clear();
    lock.lock();
  }
  timing = false;
}

void StripPool::State::serve() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    if (queue.empty()) {
      if (dirty && !timing) {
        trim_when_idle(lock);
        continue;
      }
      work_ready.wait(lock, [&] { return !queue.empty(); });
    }
    auto [group, index] = queue.front();
    queue.pop_front();
    std::unique_ptr<StripScratch> scratch;
    if (!spares.empty()) {
      scratch = std::move(spares.back());
      spares.pop_back();
    }
    most_busy = std::max(most_busy, ++busy);
    dirty = true;
    lock.unlock();
    if (!scratch) scratch.reset(new (std::nothrow) StripScratch);
    if (scratch) (*group->job)(index, *scratch);
    lock.lock();
    --busy;
    last_done = std::chrono::steady_clock::now();
    group->scratch[index] = std::move(scratch);
    // Notified under the lock: the group lives on its caller's stack until it
    // sees remaining reach zero, which it cannot before the lock is released.
    if (--group->remaining == 0) group->done.notify_one();
  }
}

size_t StripPool::threads() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.started) return s.threads;
  s.started = true;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  size_t wanted = online < 1 ? 1 : static_cast<size_t>(online);
  for (size_t i = 0; i < wanted; ++i) {
    if (start_detached_thread("deskcap-png", kStackBytes, [&s] { s.serve(); }) != 0) break;
    ++s.threads;
  }
  return s.threads;
}

std::vector<std::unique_ptr<StripScratch>> StripPool::run(size_t count, const Job& job) {
  Group group;
  group.job = &job;
  group.scratch.resize(count);
  if (threads() == 0) {
    for (size_t i = 0; i < count; ++i) {
      group.scratch[i].reset(new (std::nothrow) StripScratch);
      if (group.scratch[i]) job(i, *group.scratch[i]);
    }
    return std::move(group.scratch);
  }
  State& s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  group.remaining = count;
  for (size_t i = 0; i < count; ++i) s.queue.emplace_back(&group, i);
  if (count == 1) s.work_ready.notify_one();
  else s.work_ready.notify_all();
  group.done.wait(lock, [&] { return group.remaining == 0; });
  return std::move(group.scratch);
}

void StripPool::give_back(std::vector<std::unique_ptr<StripScratch>> scratches) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto& scratch : scratches)
    if (scratch) s.spares.push_back(std::move(scratch));
}

size_t StripPool::most_busy() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.most_busy;
}

}  // namespace deskcap
