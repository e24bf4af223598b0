// The worker pool through its public surface. Exits with busy threads and the
// hand-over of finished tasks are shown by the JavaScript suites.
#include "core/pool.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace deskcap {
namespace {

using namespace std::chrono_literals;

// A one-shot gate that work can wait on; shared so it may outlive the test body.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void release() { std::lock_guard<std::mutex> l(m); open = true; cv.notify_all(); }
  void wait() { std::unique_lock<std::mutex> l(m); cv.wait(l, [&] { return open; }); }
};

template <typename F>
bool eventually(F done, std::chrono::milliseconds limit = 5000ms) {
  for (auto end = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(1ms))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

WorkerPool::Options options(size_t workers, size_t max_blocking = 512, int64_t idle_ms = 10000) {
  WorkerPool::Options o;
  o.scheduler_workers = workers, o.max_blocking_threads = max_blocking, o.blocking_idle_ms = idle_ms;
  return o;
}

// A task of two functions; the base's finished() frees it.
template <class Run, class OnFault>
std::unique_ptr<Task> task(Run run, OnFault on_fault) {
  struct Functions final : Task {
    Functions(Run r, OnFault f) : r(std::move(r)), f(std::move(f)) {}
    void run() override { r(); }
    void fault(const Fault& x) override { f(x); }
    Run r;
    OnFault f;
  };
  return std::make_unique<Functions>(std::move(run), std::move(on_fault));
}
template <class Run>
std::unique_ptr<Task> task(Run run) {
  return task(std::move(run), [](const Fault&) {});
}

// Fault texts by task id, shared with the tasks: the pool does not wait for its threads.
struct Faults {
  std::mutex m;
  std::map<uint64_t, std::string> texts;
  std::atomic<int> ran{0};
  auto recorder() {
    return [this](const Fault& f) { std::lock_guard<std::mutex> l(m); texts[f.task_id] = f.describe(); };
  }
  std::map<uint64_t, std::string> seen() { std::lock_guard<std::mutex> l(m); return texts; }
};

TEST(PoolWorkerCount, FromEnvironment) {
  const char* old = getenv("TOKIO_WORKER_THREADS");
  const std::string saved = old ? old : "";
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  const size_t processors = online < 1 ? 1 : static_cast<size_t>(online);
  unsetenv("TOKIO_WORKER_THREADS");
  EXPECT_EQ(WorkerPool::worker_count_from_environment(), processors);
  const std::pair<const char*, size_t> cases[] = {
      {"3", 3}, {"+3", 3}, {"0", processors}, {"-2", processors}, {"3x", processors},
      {"+", processors}, {"99999999999999999999999", processors}};
  for (const auto& [text, expected] : cases) {
    setenv("TOKIO_WORKER_THREADS", text, 1);
    EXPECT_EQ(WorkerPool::worker_count_from_environment(), expected) << "value \"" << text << "\"";
  }
  if (old) setenv("TOKIO_WORKER_THREADS", saved.c_str(), 1);
  else unsetenv("TOKIO_WORKER_THREADS");
}

TEST(PoolFaultText, DescribeAndQuote) {
  EXPECT_EQ((Fault{12, Fault::Kind::Cancelled, std::nullopt}.describe()), "task 12 was cancelled");
  EXPECT_EQ(quote_fault_text("say \"hi\"\\\n\r\t"), "\"say \\\"hi\\\"\\\\\\n\\r\\t\"");
  EXPECT_EQ(quote_fault_text(std::string("a\x01" "b\x7f\0", 5)), "\"a\\u{1}b\\u{7f}\\0\"");
  // Non-ASCII text passes unchanged; C1 controls are escaped; broken UTF-8 becomes U+FFFD.
  EXPECT_EQ(quote_fault_text("caf\xc3\xa9 \xc2\x85"), "\"caf\xc3\xa9 \\u{85}\"");
  EXPECT_EQ(quote_fault_text("a\xff" "b"), "\"a\xef\xbf\xbd" "b\"");
}

TEST(PoolSpawn, FaultsCarryTheTaskIdAndWorkersSurviveThem) {
  WorkerPool pool(options(2));
  EXPECT_EQ(pool.scheduler_workers(), 2u);
  auto faults = std::make_shared<Faults>();
  const uint64_t ok = pool.spawn(task([faults] { ++faults->ran; }, faults->recorder()));
  const uint64_t boom = pool.spawn(task([] { throw std::runtime_error("boom"); }, faults->recorder()));
  const uint64_t bare = pool.spawn_blocking(task([] { throw 42; }, faults->recorder()));
  // A fault handler that throws must not take the worker down.
  pool.spawn(task([] { throw std::logic_error("x"); }, [](const Fault&) { throw 1; }));
  EXPECT_GT(boom, ok);  // one counter for both kinds of task
  EXPECT_GT(bare, boom);
  ASSERT_TRUE(eventually([&] { return faults->ran == 1 && faults->seen().size() == 2; }));
  EXPECT_EQ(faults->seen(), (std::map<uint64_t, std::string>{
                                {boom, "task " + std::to_string(boom) + " panicked with message \"boom\""},
                                {bare, "task " + std::to_string(bare) + " panicked"}}));

  // A burst of tasks reaches both workers: two that wait for each other both run.
  auto gate = std::make_shared<Gate>();
  std::atomic<int> waiting{0};
  for (int i = 0; i < 2; ++i) pool.spawn(task([gate, &waiting] { ++waiting; gate->wait(); }));
  EXPECT_TRUE(eventually([&] { return waiting == 2; }));
  gate->release();
}

TEST(PoolSpawnBlocking, AtMost512ThreadsAtOnceAndTheRestWait) {
  WorkerPool pool(options(1));
  auto gate = std::make_shared<Gate>();
  std::atomic<int> running{0}, max_running{0}, finished{0};
  constexpr int kTasks = 600;
  for (int i = 0; i < kTasks; ++i) {
    ASSERT_GT(pool.spawn_blocking(task([&, gate] {
                const int now = ++running;
                int seen = max_running.load();
                while (now > seen && !max_running.compare_exchange_weak(seen, now)) {
                }
                gate->wait();
                --running;
                ++finished;
              })),
              0u);
  }
  ASSERT_TRUE(eventually([&] { return running == 512; }, 20000ms));
  std::this_thread::sleep_for(100ms);  // give any excess thread the chance to show up
  EXPECT_EQ(running.load(), 512);
  EXPECT_EQ(pool.blocking_threads(), 512u);
  gate->release();
  ASSERT_TRUE(eventually([&] { return finished == kTasks; }, 20000ms));
  EXPECT_EQ(max_running.load(), 512);
}

TEST(PoolSpawnBlocking, IdleThreadsAreReusedThenRetire) {
  WorkerPool pool(options(1, 512, 300));
  std::atomic<int> done{0};
  pool.spawn_blocking(task([&] { ++done; }));
  ASSERT_TRUE(eventually([&] { return done == 1; }));
  std::this_thread::sleep_for(50ms);  // let the thread get back to waiting
  // The idle thread takes the next task instead of a new one starting.
  pool.spawn_blocking(task([&] { ++done; }));
  ASSERT_TRUE(eventually([&] { return done == 2; }));
  EXPECT_EQ(pool.blocking_threads(), 1u);

  auto gate = std::make_shared<Gate>();
  std::atomic<int> waiting{0};
  for (int i = 0; i < 3; ++i) pool.spawn_blocking(task([&, gate] { ++waiting; gate->wait(); }));
  ASSERT_TRUE(eventually([&] { return waiting == 3; }));
  EXPECT_EQ(pool.blocking_threads(), 3u);
  gate->release();
  EXPECT_TRUE(eventually([&] { return pool.blocking_threads() == 0; }, 3000ms));
}

#if defined(__linux__)
// The thread a task runs on: its name and stack size, as a debugger sees them.
struct ThreadLook {
  std::string name;
  size_t stack = 0;
};

ThreadLook look_at_this_thread() {
  ThreadLook look;
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  look.name = name;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &look.stack);
    pthread_attr_destroy(&attr);
  }
  return look;
}

TEST(PoolThreads, EachKindIsNamedAndHasItsOwnStack) {
  WorkerPool pool(options(1));
  auto gate = std::make_shared<Gate>();
  auto looks = std::make_shared<std::vector<ThreadLook>>(2);
  auto left = std::make_shared<std::atomic<int>>(2);
  auto look = [gate, looks, left](size_t i) {
    return task([=] {
      (*looks)[i] = look_at_this_thread();
      if (--*left == 0) gate->release();
    });
  };
  pool.spawn(look(0));
  pool.spawn_blocking(look(1));
  gate->wait();
  EXPECT_EQ((*looks)[0].name, "deskcap-worker");
  EXPECT_EQ((*looks)[1].name, "deskcap-block");
  // Far below the platform default of 8 MiB, and room for PNG encoding.
  for (const ThreadLook& l : *looks) EXPECT_EQ(l.stack, 2u * 1024 * 1024) << l.name;
}
#endif

TEST(PoolShutdown, QueuedTasksAreDroppedUnrun) {
  WorkerPool pool(options(1, 1));
  auto gate = std::make_shared<Gate>();
  std::atomic<int> busy{0};
  auto ran = std::make_shared<std::atomic<int>>(0);
  // Occupy the only worker and the only blocking thread.
  pool.spawn(task([gate, &busy] { ++busy; gate->wait(); }));
  pool.spawn_blocking(task([gate, &busy] { ++busy; gate->wait(); }));
  ASSERT_TRUE(eventually([&] { return busy == 2; }));

  std::vector<std::weak_ptr<int>> tokens;
  auto token = [&] { auto t = std::make_shared<int>(0); tokens.push_back(t); return t; };
  auto all_gone = [&] { return std::all_of(tokens.begin(), tokens.end(), [](auto& t) { return t.expired(); }); };
  for (int i = 0; i < 5; ++i) {
    pool.spawn(task([ran, t = token()] { ++*ran; }, [ran](const Fault&) { ++*ran; }));
    pool.spawn_blocking(task([ran, t = token()] { ++*ran; }, [ran](const Fault&) { ++*ran; }));
  }
  EXPECT_FALSE(all_gone());
  pool.shutdown();
  EXPECT_TRUE(all_gone()) << "queued work must be destroyed by shutdown";
  // Refused after shutdown, destroyed at once.
  EXPECT_EQ(pool.spawn(task([ran, t = token()] { ++*ran; })), 0u);
  EXPECT_EQ(pool.spawn_blocking(task([ran, t = token()] { ++*ran; })), 0u);
  EXPECT_TRUE(all_gone());
  pool.shutdown();  // twice is harmless

  gate->release();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(ran->load(), 0);
  EXPECT_TRUE(eventually([&] { return pool.blocking_threads() == 0; }));
}

TEST(PoolShutdown, DestroyingThePoolLeavesRunningBlockingWorkSafe) {
  auto gate = std::make_shared<Gate>();
  auto started = std::make_shared<std::atomic<bool>>(false);
  auto fault_text = std::make_shared<std::string>();
  auto faulted = std::make_shared<std::atomic<bool>>(false);
  {
    auto pool = std::make_unique<WorkerPool>(options(1));
    pool->spawn_blocking(task(
        [gate, started] {
          *started = true;
          gate->wait();
          throw std::runtime_error("late");
        },
        [fault_text, faulted](const Fault& f) {
          *fault_text = f.describe();
          *faulted = true;
        }));
    ASSERT_TRUE(eventually([&] { return started->load(); }));
    pool.reset();  // must not wait for the running call: the gate opens only after
  }
  gate->release();
  ASSERT_TRUE(eventually([&] { return faulted->load(); }));
  EXPECT_NE(fault_text->find("panicked with message \"late\""), std::string::npos) << *fault_text;
}

}  // namespace
}  // namespace deskcap
