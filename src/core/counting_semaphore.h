// A counting semaphore with a time limit, the shape of dispatch_semaphore_t,
// for the backends that have no libdispatch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace deskcap {

class CountingSemaphore {
 public:
  explicit CountingSemaphore(long value) : count_(value) {}

  long signal() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    cv_.notify_one();
    return 0;
  }

  // 0 when taken, non-zero on timeout; timeout_ns < 0 waits forever.
  long wait(int64_t timeout_ns) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeout_ns < 0) {
      cv_.wait(lock, [&] { return count_ > 0; });
    } else if (!cv_.wait_for(lock, std::chrono::nanoseconds(timeout_ns),
                             [&] { return count_ > 0; })) {
      return 1;
    }
    --count_;
    return 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  long count_;
};

}  // namespace deskcap
