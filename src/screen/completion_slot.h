// Where a framework completion meets the worker that waits for it. Shared by
// the two and freed by whichever lets go last, because the handler may run
// before the request returns, long after, or after the waiter has gone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <variant>

#include "platform/platform.h"

namespace deskcap::capture_bridge {

// What a completion delivered: nothing, a retained object, or an error text.
using SlotResult = std::variant<std::monostate, platform::Ref<platform::Object>, std::string>;

class CompletionSlot {
 public:
  // A new slot owned twice: by the waiting caller and by the handler.
  static CompletionSlot* create();

  CompletionSlot(const CompletionSlot&) = delete;
  CompletionSlot& operator=(const CompletionSlot&) = delete;

  // Handler side: stores the result, sets done and wakes the waiter. A result
  // stored earlier is replaced and released (after the lock is let go).
  void complete(SlotResult result);

  // Caller side: blocks, without a time limit, until done is set; then takes
  // the result out of the slot.
  SlotResult wait_and_take();

  // Gives up one ownership; the last one frees the slot.
  void drop();

 private:
  CompletionSlot() = default;
  ~CompletionSlot() = default;

  std::atomic<int> owners_{2};
  std::mutex mutex_;
  bool done_ = false;
  SlotResult result_;
  std::condition_variable wake_;
};

}  // namespace deskcap::capture_bridge
