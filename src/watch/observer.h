// One kind of native observer, driven by the watch thread: started when some
// subscriber wants its kind, stopped when none does, and polled whenever the
// thread wakes. Callbacks from the system only mark the observer and wake the
// thread; all comparing happens on the watch thread.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "watch/watch.h"

namespace deskcap::watch {

class Observer {
 public:
  virtual ~Observer() = default;
  // Watch thread: registers with the system and takes the state to compare
  // against; reports nothing.
  virtual void start(const Sources& sources) = 0;
  // Watch thread: unregisters; the state is dropped.
  virtual void stop() = 0;
  // Watch thread: appends what changed since the last poll.
  virtual void poll(std::vector<Event>& out) = 0;
  // How long the thread may sleep before this observer must be polled
  // again; nullopt: until woken.
  virtual std::optional<std::chrono::milliseconds> patience() const { return std::nullopt; }
};

// Wakes the watch thread from any thread (a system callback).
void wake();

std::unique_ptr<Observer> display_observer();
std::unique_ptr<Observer> ios_device_observer();
std::unique_ptr<Observer> microphone_observer();
std::unique_ptr<Observer> access_observer();

}  // namespace deskcap::watch
