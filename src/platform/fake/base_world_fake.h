// The fake world: a scriptable, in-memory stand-in for the operating system,
// described by one JSON document (docs/fake-world.md). The testing addon reads
// it once, from the file named by DESKCAP_FAKE_WORLD; C++ tests install worlds
// in code with set_world(). Each facility (screen_*, phone_*, desktop_*) reads
// its own section and keeps its live state, rebuilt when the world changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

namespace deskcap::fake {

using json = nlohmann::json;

// The current world document (an empty object when none was given). Thread: any.
std::shared_ptr<const json> world();
// A copy of world()[key], or null when absent.
json section(const char* key);
// Installs a new world and bumps the generation, so that every facility drops
// its state and reads the new document. For C++ tests.
void set_world(json document);
// Grows by one at every set_world (and the first load).
uint64_t generation();

// "timeScale" (default 1): every delay, sleep and timeout of the world is
// multiplied by it, so that a 60 s wait can take 60 ms in a test.
double time_scale();
int64_t scaled_ns(double seconds);

// How a completion is delivered, from a behaviour object
//   {"deliver": "thread" | "sync" | "never", "delayMs": 0}
// ("thread" is the default): on a new thread after the scaled delay, inside
// the caller before it returns, or not at all (fn is destroyed unrun).
void deliver(const json& behaviour, std::function<void()> fn);
// Runs fn on a new thread after `seconds` (scaled).
void run_later(double seconds, std::function<void()> fn);

// Base of every fake framework object: reference counted through
// platform::retain/release, and counted while alive so that tests can check
// that every path released what it made.
struct FakeObject {
  FakeObject();
  virtual ~FakeObject();
  std::atomic<long> references{1};
};
// Fake framework objects alive right now.
long live_objects();

// Runs body under a section's lock with its state rebuilt when the world has
// changed since the state was built.
template <class State>
class SectionState {
 public:
  explicit SectionState(std::function<void(State&, const json&)> load) : load_(std::move(load)) {}
  template <class Fn>
  auto with(Fn&& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t now = generation();
    if (now != built_) {
      state_ = State{};
      load_(state_, *world());
      built_ = now;
    }
    return body(state_);
  }

 private:
  std::mutex mutex_;
  uint64_t built_ = 0;
  State state_{};
  std::function<void(State&, const json&)> load_;
};

}  // namespace deskcap::fake
