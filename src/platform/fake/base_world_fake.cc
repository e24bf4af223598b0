#include "platform/fake/base_world_fake.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/platform.h"

namespace deskcap::fake {
namespace {

struct WorldSlot {
  std::mutex mutex;
  std::shared_ptr<const json> world;
};

// Never destroyed: pool threads still read the world while exit() runs.
WorldSlot& slot() {
  static WorldSlot& s = *new WorldSlot;
  return s;
}

std::atomic<uint64_t> g_generation{0};
std::atomic<long> g_live{0};

// A world that cannot be read is a broken test set-up: say so loudly once.
json load_from_environment() {
  const char* path = std::getenv("DESKCAP_FAKE_WORLD");
  if (path == nullptr || *path == '\0') return json::object();
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "deskcap fake world: cannot open %s\n", path);
    return json::object();
  }
  try {
    json doc = json::parse(in);
    if (!doc.is_object()) throw std::runtime_error("the world must be a JSON object");
    return doc;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "deskcap fake world: %s: %s\n", path, e.what());
    return json::object();
  }
}

}  // namespace

std::shared_ptr<const json> world() {
  WorldSlot& s = slot();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.world) {
    s.world = std::make_shared<const json>(load_from_environment());
    g_generation.fetch_add(1);
  }
  return s.world;
}

json section(const char* key) {
  auto w = world();
  auto it = w->find(key);
  return it == w->end() ? json() : *it;
}

void set_world(json document) {
  WorldSlot& s = slot();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.world = std::make_shared<const json>(std::move(document));
  g_generation.fetch_add(1);
}

uint64_t generation() {
  world();  // the first call loads the environment's world
  return g_generation.load();
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

void run_later(double seconds, std::function<void()> fn) {
  int64_t ns = scaled_ns(seconds);
  std::thread([ns, fn = std::move(fn)]() mutable {
    if (ns > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
    fn();
  }).detach();
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

FakeObject::FakeObject() { g_live.fetch_add(1); }
FakeObject::~FakeObject() { g_live.fetch_sub(1); }
long live_objects() { return g_live.load(); }

}  // namespace deskcap::fake
