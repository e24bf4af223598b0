#include "screen/completion_slot.h"

#include <utility>

namespace deskcap::capture_bridge {

CompletionSlot* CompletionSlot::create() { return new CompletionSlot(); }

void CompletionSlot::complete(SlotResult result) {
  SlotResult earlier;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    earlier = std::exchange(result_, std::move(result));
    done_ = true;
  }
  wake_.notify_one();
  // `earlier` goes here, outside the lock: releasing a framework object is
  // framework work.
}

SlotResult CompletionSlot::wait_and_take() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return done_; });
  return std::exchange(result_, SlotResult{});
}

void CompletionSlot::drop() {
  if (owners_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

}  // namespace deskcap::capture_bridge
