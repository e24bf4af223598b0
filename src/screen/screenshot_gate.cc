#include "screen/screenshot_gate.h"

#include <condition_variable>
#include <mutex>
#include <set>

namespace deskcap {
namespace {

struct Gate {
  std::mutex mutex;
  std::condition_variable turn_changed;
  uint64_t next = 0;     // the number the next drawn turn gets
  uint64_t serving = 0;  // the turn that may take or holds the screenshot
  // Turns given up while earlier ones were still to come: skipped on arrival.
  std::set<uint64_t> given_up;
};

// Never destroyed: pool threads may still hold turns while exit() runs.
Gate& gate() {
  static Gate& g = *new Gate;
  return g;
}

void finish(uint64_t number) {
  Gate& g = gate();
  {
    std::lock_guard<std::mutex> lock(g.mutex);
    if (number != g.serving) {
      g.given_up.insert(number);
      return;
    }
    ++g.serving;
    for (auto it = g.given_up.begin(); it != g.given_up.end() && *it == g.serving; it = g.given_up.erase(it))
      ++g.serving;
  }
  g.turn_changed.notify_all();
}

}  // namespace

ScreenshotTurn draw_screenshot_turn() {
  Gate& g = gate();
  std::lock_guard<std::mutex> lock(g.mutex);
  return ScreenshotTurn(g.next++);
}

ScreenshotTurn::ScreenshotTurn(ScreenshotTurn&& other) noexcept : number_(other.number_), held_(other.held_) {
  other.held_ = false;
}

ScreenshotTurn& ScreenshotTurn::operator=(ScreenshotTurn&& other) noexcept {
  if (this != &other) {
    release();
    number_ = other.number_;
    held_ = other.held_;
    other.held_ = false;
  }
  return *this;
}

ScreenshotTurn::~ScreenshotTurn() { release(); }

void ScreenshotTurn::wait() {
  if (!held_) return;
  Gate& g = gate();
  std::unique_lock<std::mutex> lock(g.mutex);
  g.turn_changed.wait(lock, [&] { return g.serving == number_; });
}

void ScreenshotTurn::release() {
  if (!held_) return;
  held_ = false;
  finish(number_);
}

}  // namespace deskcap
