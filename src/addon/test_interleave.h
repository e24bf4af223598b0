// Test builds only: with DESKCAP_TEST_TEARDOWN_INTERLEAVE=1 the last
// environment's teardown pauses after giving the pool up and before shutting it
// down, and a later registration runs exactly inside that pause. This makes the
// one interleaving of teardown and registration that matters happen every time.
// Each side waits at most 10 s, so a test that gets it wrong fails, not hangs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace deskcap::js {

#if DESKCAP_TESTING
namespace interleave {

struct State {
  std::mutex mutex;
  std::condition_variable changed;
  int registrations = 0;
  bool teardown_paused = false;
  bool registered_in_pause = false;
};

inline State* state() {
  static State* s = [] {
    const char* v = std::getenv("DESKCAP_TEST_TEARDOWN_INTERLEAVE");
    return v != nullptr && v[0] == '1' ? new State : nullptr;  // never destroyed
  }();
  return s;
}

constexpr auto kPatience = std::chrono::seconds(10);

}  // namespace interleave
#endif

// Registration, before it touches the environment count: every registration
// after the first waits for a teardown to pause.
inline void interleave_before_registration() {
#if DESKCAP_TESTING
  interleave::State* s = interleave::state();
  if (s == nullptr) return;
  std::unique_lock<std::mutex> lock(s->mutex);
  if (s->registrations++ == 0) return;
  s->changed.wait_for(lock, interleave::kPatience, [s] { return s->teardown_paused; });
#endif
}

// Registration, once done: lets the paused teardown go on.
inline void interleave_after_registration() {
#if DESKCAP_TESTING
  interleave::State* s = interleave::state();
  if (s == nullptr) return;
  std::lock_guard<std::mutex> lock(s->mutex);
  if (s->teardown_paused) s->registered_in_pause = true;
  s->changed.notify_all();
#endif
}

// The last environment's teardown, between giving the pool up and its shutdown.
inline void interleave_in_teardown() {
#if DESKCAP_TESTING
  interleave::State* s = interleave::state();
  if (s == nullptr) return;
  std::unique_lock<std::mutex> lock(s->mutex);
  s->teardown_paused = true;
  s->changed.notify_all();
  s->changed.wait_for(lock, interleave::kPatience, [s] { return s->registered_in_pause; });
  s->teardown_paused = false;
#endif
}

}  // namespace deskcap::js
