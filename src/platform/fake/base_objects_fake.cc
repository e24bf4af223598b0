// Reference counting, time and allocation of the fake world.
#include <cstdlib>
#include <thread>

#include "core/counting_semaphore.h"
#include "platform/fake/base_world_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {
using fake::json;

void retain(const void* object) {
  if (object == nullptr) return;
  static_cast<fake::FakeObject*>(const_cast<void*>(object))->references.fetch_add(1);
}

void release(const void* object) {
  if (object == nullptr) return;
  auto* o = static_cast<fake::FakeObject*>(const_cast<void*>(object));
  if (o->references.fetch_sub(1) == 1) delete o;
}

struct Semaphore : fake::FakeObject {
  explicit Semaphore(long value) : FakeObject("Semaphore"), sem(value) {}
  CountingSemaphore sem;
};

Semaphore* semaphore_create(long value) { return new Semaphore(value); }
long semaphore_signal(Semaphore* semaphore) { return semaphore->sem.signal(); }
long semaphore_wait(Semaphore* semaphore, int64_t timeout_ns) {
  if (timeout_ns < 0) return semaphore->sem.wait(-1);
  return semaphore->sem.wait(fake::scaled_ns(static_cast<double>(timeout_ns) / 1e9));
}

void sleep_for_interval(double seconds) {
  int64_t ns = fake::scaled_ns(seconds);
  if (ns > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

// {"allocation": {"failAbove": N}} or {"allocation": {"failSizes": [n, ...]}}:
// boundary blocks of those sizes (or above that size) are refused.
void* boundary_malloc(size_t size) {
  json rules = fake::section("allocation");
  if (rules.is_object()) {
    if (rules.contains("failAbove") && rules["failAbove"].is_number_unsigned() &&
        size > rules["failAbove"].get<uint64_t>())
      return nullptr;
    if (rules.contains("failSizes") && rules["failSizes"].is_array())
      for (const auto& s : rules["failSizes"])
        if (s.is_number_unsigned() && s.get<uint64_t>() == size) return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

AutoreleasePool::AutoreleasePool() : token_(nullptr) {}
AutoreleasePool::~AutoreleasePool() = default;

}  // namespace deskcap::platform
