#include "platform/fake/base_world_fake.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace deskcap::fake {
namespace {

// Never destroyed: pool and fake framework threads read the world while the
// process exits.
struct WorldSlot {
  std::mutex mutex;
  std::shared_ptr<const json> world;
  std::atomic<uint64_t> generation{0};
  std::atomic<uint64_t> fresh_generation{0};
  // Written under the mutex; read without it once true (it never turns back).
  std::atomic<bool> environment_read{false};
};

WorldSlot& slot() {
  static WorldSlot& s = *new WorldSlot;
  return s;
}

struct LiveObjects {
  std::mutex mutex;
  std::map<std::string, long, std::less<>> by_kind;
  std::atomic<long> total{0};
};

LiveObjects& live() {
  static LiveObjects& l = *new LiveObjects;
  return l;
}

void install_locked(WorldSlot& s, json canonical, bool fresh = true) {
  s.world = std::make_shared<const json>(std::move(canonical));
  if (fresh) s.fresh_generation.fetch_add(1);
  s.generation.fetch_add(1);
}

}  // namespace

json read_world_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw WorldError(path + ": cannot open the world file");
  try {
    return json::parse(in);
  } catch (const json::exception& e) {
    throw WorldError(path + ": " + e.what());
  }
}

void load_environment_world() {
  WorldSlot& s = slot();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.environment_read.load()) return;
  // Marked read once the world is in place (or the file refused), so that a
  // thread that sees the mark without the lock finds the world's generation.
  struct MarkRead {
    WorldSlot& s;
    ~MarkRead() { s.environment_read.store(true); }
  } mark{s};
  if (s.world) return;  // a world was installed in code first
  install_locked(s, json::object());
  const char* path = std::getenv("DESKCAP_FAKE_WORLD");
  if (path == nullptr || *path == '\0') return;
  json document = read_world_file(path);
  try {
    install_locked(s, canonical_world(document));
  } catch (const WorldError& e) {
    throw WorldError(std::string(path) + ": " + e.what());
  }
}

std::shared_ptr<const json> world() {
  {
    std::lock_guard<std::mutex> lock(slot().mutex);
    if (slot().world) return slot().world;
  }
  // A C++ program that never installed a world: the environment's, else empty;
  // a broken file is said loudly once.
  try {
    load_environment_world();
  } catch (const WorldError& e) {
    std::fprintf(stderr, "deskcap fake world: %s\n", e.what());
  }
  std::lock_guard<std::mutex> lock(slot().mutex);
  return slot().world;
}

json section(const char* key) {
  auto w = world();
  auto it = w->find(key);
  return it == w->end() ? json() : *it;
}

void set_world(json document) {
  json canonical = canonical_world(document);
  WorldSlot& s = slot();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.environment_read.store(true);
  install_locked(s, std::move(canonical));
}

json checked_change(const json& patch) {
  json changed = *world();
  changed.merge_patch(patch);
  return canonical_world(changed);
}

std::shared_ptr<const json> install_change(json canonical) {
  WorldSlot& s = slot();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::shared_ptr<const json> before = s.world;
  install_locked(s, std::move(canonical), false);
  return before;
}

bool sections_differ(const json& before, const json& after, const std::vector<const char*>& keys) {
  auto part = [](const json& w, const char* key) {
    auto it = w.find(key);
    return it == w.end() ? json() : *it;
  };
  for (const char* key : keys)
    if (part(before, key) != part(after, key)) return true;
  // The time scale reaches every section's delays.
  return part(before, "timeScale") != part(after, "timeScale");
}

uint64_t fresh_generation() {
  if (!slot().environment_read.load()) world();
  return slot().fresh_generation.load();
}

uint64_t generation() {
  // The first call loads the environment's world; later ones only read.
  if (!slot().environment_read.load()) world();
  return slot().generation.load();
}

double time_scale() {
  auto w = world();
  auto it = w->find("timeScale");
  if (it != w->end() && it->is_number() && it->get<double>() >= 0) return it->get<double>();
  return 1.0;
}

int64_t scaled_ns(double seconds) {
  double ns = seconds * time_scale() * 1e9;
  if (ns < 0) return 0;
  if (ns > 9e18) return static_cast<int64_t>(9e18);
  return static_cast<int64_t>(ns);
}

namespace {

// Long-lived threads for completions without a delay, as the frameworks'
// dispatch queues have: a thread started per completion would make each
// capture pay for a thread's start and end, which the real system does not.
// A busy thread never holds a completion back (another starts); idle ones
// end after a few seconds. Never destroyed: its threads outlive exit().
struct Dispatch {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::function<void()>> queue;
  size_t idle = 0;
};

Dispatch& dispatch() {
  static Dispatch& d = *new Dispatch;
  return d;
}

void dispatch_thread() {
  Dispatch& d = dispatch();
  std::unique_lock<std::mutex> lock(d.mutex);
  for (;;) {
    ++d.idle;
    const bool work = d.ready.wait_for(lock, std::chrono::seconds(5), [&] { return !d.queue.empty(); });
    --d.idle;
    if (!work) return;
    std::function<void()> fn = std::move(d.queue.front());
    d.queue.pop_front();
    lock.unlock();
    fn();
    fn = nullptr;  // what it holds goes before the lock is taken again
    lock.lock();
  }
}

}  // namespace

void run_later(double seconds, std::function<void()> fn) {
  int64_t ns = scaled_ns(seconds);
  if (ns > 0) {
    std::thread([ns, fn = std::move(fn)]() mutable {
      std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
      fn();
    }).detach();
    return;
  }
  Dispatch& d = dispatch();
  std::unique_lock<std::mutex> lock(d.mutex);
  d.queue.push_back(std::move(fn));
  const bool start = d.queue.size() > d.idle;
  lock.unlock();
  if (start) std::thread(dispatch_thread).detach();
  else d.ready.notify_one();
}

void deliver(const json& behaviour, std::function<void()> fn) {
  std::string how = "thread";
  double delay_ms = 0;
  if (behaviour.is_object()) {
    how = behaviour.value("deliver", std::string("thread"));
    if (behaviour.contains("delayMs") && behaviour["delayMs"].is_number())
      delay_ms = behaviour["delayMs"].get<double>();
  }
  if (how == "never") return;
  if (how == "sync") {
    fn();
    return;
  }
  run_later(delay_ms / 1000.0, std::move(fn));
}

FakeObject::FakeObject(const char* kind) : kind(kind) {
  LiveObjects& l = live();
  l.total.fetch_add(1);
  std::lock_guard<std::mutex> lock(l.mutex);
  auto it = l.by_kind.find(std::string_view(kind));
  if (it == l.by_kind.end()) it = l.by_kind.emplace(kind, 0).first;
  ++it->second;
}

FakeObject::~FakeObject() {
  LiveObjects& l = live();
  l.total.fetch_sub(1);
  std::lock_guard<std::mutex> lock(l.mutex);
  --l.by_kind.find(std::string_view(kind))->second;
}

long live_objects() { return live().total.load(); }

json live_objects_by_kind() {
  LiveObjects& l = live();
  std::lock_guard<std::mutex> lock(l.mutex);
  json kinds = json::object();
  for (const auto& [kind, count] : l.by_kind)
    if (count != 0) kinds[kind] = count;
  return kinds;
}

}  // namespace deskcap::fake
