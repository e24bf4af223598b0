// The worker pool through its public surface: worker count, fault texts, the
// blocking-thread bound and idle retirement, and shutdown behaviour.
#include "core/pool.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
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
  void release() {
    std::lock_guard<std::mutex> l(m);
    open = true;
    cv.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return open; });
  }
};

// Polls `done` until it holds or the time is up.
template <typename F>
bool eventually(F done, std::chrono::milliseconds limit = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

WorkerPool::Options options(size_t workers, size_t max_blocking = 512, int64_t idle_ms = 10000) {
  WorkerPool::Options o;
  o.scheduler_workers = workers;
  o.max_blocking_threads = max_blocking;
  o.blocking_idle_ms = idle_ms;
  return o;
}

class PoolWorkerCount : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("TOKIO_WORKER_THREADS");
    if (old) saved_ = old;
  }
  void TearDown() override {
    if (saved_) setenv("TOKIO_WORKER_THREADS", saved_->c_str(), 1);
    else unsetenv("TOKIO_WORKER_THREADS");
  }
  std::optional<std::string> saved_;
};

TEST_F(PoolWorkerCount, FromEnvironment) {
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  const size_t processors = online < 1 ? 1 : static_cast<size_t>(online);

  unsetenv("TOKIO_WORKER_THREADS");
  EXPECT_EQ(WorkerPool::worker_count_from_environment(), processors);

  struct Case {
    const char* text;
    size_t expected;
  };
  const Case cases[] = {
      {"3", 3},           {"+3", 3},          {"0", processors}, {"-2", processors},
      {"3x", processors}, {"+", processors},  {"99999999999999999999999", processors},
  };
  for (const Case& c : cases) {
    setenv("TOKIO_WORKER_THREADS", c.text, 1);
    EXPECT_EQ(WorkerPool::worker_count_from_environment(), c.expected) << "value \"" << c.text << "\"";
  }
}

TEST(PoolFaultText, DescribeAndQuote) {
  EXPECT_EQ((Fault{7, Fault::Kind::Panicked, "boom"}.describe()), "task 7 panicked with message \"boom\"");
  EXPECT_EQ((Fault{7, Fault::Kind::Panicked, std::nullopt}.describe()), "task 7 panicked");
  EXPECT_EQ((Fault{12, Fault::Kind::Cancelled, std::nullopt}.describe()), "task 12 was cancelled");

  EXPECT_EQ(quote_fault_text("say \"hi\"\\\n\r\t"), "\"say \\\"hi\\\"\\\\\\n\\r\\t\"");
  EXPECT_EQ(quote_fault_text(std::string("a\x01" "b\x7f\0", 5)), "\"a\\u{1}b\\u{7f}\\0\"");
  // Non-ASCII text passes unchanged; C1 controls are escaped; broken UTF-8 becomes U+FFFD.
  EXPECT_EQ(quote_fault_text("caf\xc3\xa9 \xc2\x85"), "\"caf\xc3\xa9 \\u{85}\"");
  EXPECT_EQ(quote_fault_text("a\xff" "b"), "\"a\xef\xbf\xbd" "b\"");
}

// What the work saw, shared with it so that it outlives the test body: the pool
// does not wait for its threads.
template <typename T>
struct Recorded {
  std::mutex m;
  std::vector<T> items;
  std::atomic<int> ran{0};
  void add(T v) {
    std::lock_guard<std::mutex> l(m);
    items.push_back(std::move(v));
  }
  std::vector<T> snapshot() {
    std::lock_guard<std::mutex> l(m);
    return items;
  }
};

TEST(PoolSpawn, RunsWorkAndReportsFaults) {
  WorkerPool pool(options(2));
  EXPECT_EQ(pool.scheduler_workers(), 2u);

  auto rec = std::make_shared<Recorded<std::optional<std::string>>>();
  auto record = [rec](std::optional<std::string> text) { rec->add(std::move(text)); };
  const uint64_t a = pool.spawn([rec] { ++rec->ran; }, record);
  const uint64_t b = pool.spawn([rec] { ++rec->ran; throw std::runtime_error("boom"); }, record);
  const uint64_t c = pool.spawn([rec] { ++rec->ran; throw 42; }, record);
  // A fault handler that throws must not take the worker down.
  pool.spawn([] { throw std::logic_error("x"); }, [](std::optional<std::string>) { throw 1; });
  EXPECT_GT(a, 0u);
  EXPECT_GT(b, a);
  EXPECT_GT(c, b);
  ASSERT_TRUE(eventually([&] { return rec->ran == 3 && rec->snapshot().size() == 2; }));
  const auto faults = rec->snapshot();
  EXPECT_NE(std::find(faults.begin(), faults.end(), std::optional<std::string>("boom")), faults.end());
  EXPECT_NE(std::find(faults.begin(), faults.end(), std::nullopt), faults.end());

  // Both workers still serve work after the faults, and run work in parallel.
  auto gate = std::make_shared<Gate>();
  for (int i = 0; i < 2; ++i) pool.spawn([gate, rec] { ++rec->ran; gate->wait(); }, nullptr);
  EXPECT_TRUE(eventually([&] { return rec->ran == 5; }));
  gate->release();
}

TEST(PoolSpawnBlocking, FaultsCarryTheTaskId) {
  WorkerPool pool(options(1));
  auto rec = std::make_shared<Recorded<Fault>>();
  auto record = [rec](const Fault& f) { rec->add(f); };
  const uint64_t boom = pool.spawn_blocking([] { throw std::runtime_error("boom"); }, record);
  const uint64_t bare = pool.spawn_blocking([] { throw 5; }, record);
  pool.spawn_blocking([rec] { ++rec->ran; }, record);
  // Ids are shared with scheduler tasks: one counter for both kinds.
  const uint64_t next = pool.spawn([] {}, nullptr);
  EXPECT_GT(next, bare);

  ASSERT_TRUE(eventually([&] { return rec->snapshot().size() == 2 && rec->ran == 1; }));
  const auto faults = rec->snapshot();
  auto text_of = [&](uint64_t id) {
    for (const Fault& f : faults)
      if (f.task_id == id) {
        EXPECT_EQ(f.kind, Fault::Kind::Panicked);
        return f.describe();
      }
    return std::string("missing");
  };
  EXPECT_EQ(text_of(boom), "task " + std::to_string(boom) + " panicked with message \"boom\"");
  EXPECT_EQ(text_of(bare), "task " + std::to_string(bare) + " panicked");
}

TEST(PoolSpawnBlocking, AtMost512ThreadsAtOnceAndTheRestWait) {
  WorkerPool pool(options(1));
  auto gate = std::make_shared<Gate>();
  std::atomic<int> running{0}, max_running{0}, finished{0};
  constexpr int kTasks = 600;
  for (int i = 0; i < kTasks; ++i) {
    ASSERT_GT(pool.spawn_blocking(
                  [&, gate] {
                    const int now = ++running;
                    int seen = max_running.load();
                    while (now > seen && !max_running.compare_exchange_weak(seen, now)) {
                    }
                    gate->wait();
                    --running;
                    ++finished;
                  },
                  nullptr),
              0u);
  }
  ASSERT_TRUE(eventually([&] { return running == 512; }, 20000ms));
  std::this_thread::sleep_for(100ms);  // give any excess thread the chance to show up
  EXPECT_EQ(running.load(), 512);
  EXPECT_EQ(pool.blocking_threads(), 512u);
  gate->release();
  ASSERT_TRUE(eventually([&] { return finished == kTasks; }, 20000ms));
  EXPECT_EQ(max_running.load(), 512);
  EXPECT_LE(pool.blocking_threads(), 512u);
}

TEST(PoolSpawnBlocking, IdleThreadsAreReusedThenRetire) {
  WorkerPool pool(options(1, 512, 300));
  std::atomic<int> done{0};
  pool.spawn_blocking([&] { ++done; }, nullptr);
  ASSERT_TRUE(eventually([&] { return done == 1; }));
  std::this_thread::sleep_for(50ms);  // let the thread get back to waiting
  // The idle thread takes the next task instead of a new one starting.
  pool.spawn_blocking([&] { ++done; }, nullptr);
  ASSERT_TRUE(eventually([&] { return done == 2; }));
  EXPECT_EQ(pool.blocking_threads(), 1u);

  auto gate = std::make_shared<Gate>();
  std::atomic<int> waiting{0};
  for (int i = 0; i < 3; ++i) pool.spawn_blocking([&, gate] { ++waiting; gate->wait(); }, nullptr);
  ASSERT_TRUE(eventually([&] { return waiting == 3; }));
  EXPECT_EQ(pool.blocking_threads(), 3u);
  gate->release();
  EXPECT_TRUE(eventually([&] { return pool.blocking_threads() == 0; }, 3000ms));
}

// Observes, through a capture, whether a queued function was destroyed.
struct Tokens {
  std::vector<std::weak_ptr<int>> watched;
  std::shared_ptr<int> make() {
    auto t = std::make_shared<int>(0);
    watched.push_back(t);
    return t;
  }
  bool all_gone() const {
    for (auto& w : watched)
      if (!w.expired()) return false;
    return true;
  }
};

TEST(PoolShutdown, QueuedTasksAreDroppedUnrun) {
  WorkerPool pool(options(1, 1));
  auto gate = std::make_shared<Gate>();
  std::atomic<int> busy{0};
  auto ran = std::make_shared<std::atomic<int>>(0);
  // Occupy the only worker and the only blocking thread.
  pool.spawn([gate, &busy] { ++busy; gate->wait(); }, nullptr);
  pool.spawn_blocking([gate, &busy] { ++busy; gate->wait(); }, nullptr);
  ASSERT_TRUE(eventually([&] { return busy == 2; }));

  Tokens tokens;
  for (int i = 0; i < 5; ++i) {
    pool.spawn([ran, t = tokens.make()] { ++*ran; }, [t = tokens.make()](std::optional<std::string>) {});
    pool.spawn_blocking([ran, t = tokens.make()] { ++*ran; }, [t = tokens.make()](const Fault&) {});
  }
  EXPECT_FALSE(tokens.all_gone());
  pool.shutdown();
  EXPECT_TRUE(tokens.all_gone()) << "queued work must be destroyed by shutdown";

  // Refused after shutdown, the functions destroyed at once.
  Tokens late;
  EXPECT_EQ(pool.spawn([ran, t = late.make()] { ++*ran; }, nullptr), 0u);
  EXPECT_EQ(pool.spawn_blocking([ran, t = late.make()] { ++*ran; }, nullptr), 0u);
  EXPECT_TRUE(late.all_gone());
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
    pool->spawn_blocking(
        [gate, started] {
          *started = true;
          gate->wait();
          throw std::runtime_error("late");
        },
        [fault_text, faulted](const Fault& f) {
          *fault_text = f.describe();
          *faulted = true;
        });
    ASSERT_TRUE(eventually([&] { return started->load(); }));
    pool.reset();  // must not wait for the running call: the gate opens only after
  }
  gate->release();
  ASSERT_TRUE(eventually([&] { return faulted->load(); }));
  EXPECT_NE(fault_text->find("panicked with message \"late\""), std::string::npos) << *fault_text;

  // A fresh pool works after the old one is gone.
  WorkerPool second(options(1));
  std::atomic<int> ran{0};
  EXPECT_GT(second.spawn([&] { ++ran; }, nullptr), 0u);
  EXPECT_GT(second.spawn_blocking([&] { ++ran; }, nullptr), 0u);
  EXPECT_TRUE(eventually([&] { return ran == 2; }));
}

TEST(PoolShutdown, ProcessExitsWhileThreadsAreBusy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Blocked threads, with the pool kept alive or destroyed, never stop a clean exit.
  for (bool destroy : {false, true}) {
    EXPECT_EXIT(
        {
          auto* pool = new WorkerPool(options(2));
          auto* gate = new Gate;
          std::atomic<int> busy{0};
          pool->spawn([&] { ++busy; gate->wait(); }, nullptr);
          pool->spawn_blocking([&] { ++busy; gate->wait(); }, nullptr);
          if (!eventually([&] { return busy == 2; })) std::exit(3);
          if (destroy) delete pool;
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << (destroy ? "pool destroyed" : "pool alive");
  }
}

}  // namespace
}  // namespace deskcap
