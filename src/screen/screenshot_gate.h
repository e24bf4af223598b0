// One framework screenshot in flight per process, in the order the captures
// began: the capture daemon serialises overlapping screenshots and charges
// heavily for the overlap (four displays at once took 4.2 s, one after
// another 0.2 s).
#pragma once

#include <cstdint>

namespace deskcap {

// A capture's place in the line. Drawn when the capture's work begins on its
// worker, so that every holder of an earlier turn is already running and will
// use or give up its turn. Given up when destroyed without wait().
class ScreenshotTurn {
 public:
  ScreenshotTurn(ScreenshotTurn&& other) noexcept;
  ScreenshotTurn& operator=(ScreenshotTurn&& other) noexcept;
  ScreenshotTurn(const ScreenshotTurn&) = delete;
  ScreenshotTurn& operator=(const ScreenshotTurn&) = delete;
  ~ScreenshotTurn();

  // Blocks until every earlier turn was released or given up; from then the
  // gate is this turn's until release() or destruction.
  void wait();
  // Lets the next turn in; once only, later calls do nothing.
  void release();

 private:
  friend ScreenshotTurn draw_screenshot_turn();
  explicit ScreenshotTurn(uint64_t number) : number_(number), held_(true) {}
  uint64_t number_ = 0;
  bool held_ = false;  // not yet released nor given up
};

// The next turn, after every turn drawn before.
ScreenshotTurn draw_screenshot_turn();

}  // namespace deskcap
