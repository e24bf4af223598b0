// The product's Linux backend: reference counting, time, allocation and the
// places where Linux simply lacks the facility.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/counting_semaphore.h"
#include "platform/linux/base_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {

void retain(const void* object) {
  if (object == nullptr) return;
  static_cast<linux_backend::LinuxObject*>(const_cast<void*>(object))->references.fetch_add(1);
}

void release(const void* object) {
  if (object == nullptr) return;
  auto* o = static_cast<linux_backend::LinuxObject*>(const_cast<void*>(object));
  if (o->references.fetch_sub(1) == 1) delete o;
}

struct Semaphore : linux_backend::LinuxObject {
  explicit Semaphore(long value) : sem(value) {}
  CountingSemaphore sem;
};

Semaphore* semaphore_create(long value) { return new Semaphore(value); }
long semaphore_signal(Semaphore* semaphore) { return semaphore->sem.signal(); }
long semaphore_wait(Semaphore* semaphore, int64_t timeout_ns) { return semaphore->sem.wait(timeout_ns); }

void sleep_for_interval(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void* boundary_malloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

AutoreleasePool::AutoreleasePool() : token_(nullptr) {}
AutoreleasePool::~AutoreleasePool() = default;

}  // namespace deskcap::platform
