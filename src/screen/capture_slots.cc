#include "screen/capture_slots.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "screen/png_strip_pool.h"

namespace deskcap::capture_slots {
namespace {

struct Slot {
  std::unique_ptr<uint8_t[]> block;
  size_t capacity = 0;
  bool busy = false;
};

struct State {
  std::mutex mutex;
  std::condition_variable freed;
  std::vector<Slot> slots;
};

void trim();

// Never destroyed: capture workers may still hold a lease at exit.
State* make_state() {
  auto* made = new State;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  made->slots.resize(static_cast<size_t>(std::max<long>(1, online / 4)));
  StripPool::shared().on_idle(trim);
  return made;
}

State& state() {
  static State& s = *make_state();
  return s;
}

// Frees the blocks of the slots nobody holds.
void trim() {
  State& s = state();
  std::vector<std::unique_ptr<uint8_t[]>> freed;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (Slot& slot : s.slots) {
      if (slot.busy || !slot.block) continue;
      freed.push_back(std::move(slot.block));
      slot.capacity = 0;
    }
  }
}

}  // namespace

size_t count() { return state().slots.size(); }

Lease Lease::acquire() {
  State& s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    for (size_t i = 0; i < s.slots.size(); ++i) {
      if (s.slots[i].busy) continue;
      s.slots[i].busy = true;
      return Lease(static_cast<int>(i));
    }
    s.freed.wait(lock);
  }
}

Lease& Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

Lease::~Lease() { release(); }

void Lease::release() {
  if (slot_ < 0) return;
  State& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.slots[static_cast<size_t>(slot_)].busy = false;
  }
  slot_ = -1;
  s.freed.notify_one();
}

uint8_t* Lease::block(size_t size) {
  if (slot_ < 0) return nullptr;
  // Only the holder touches a busy slot's block: no lock needed.
  Slot& slot = state().slots[static_cast<size_t>(slot_)];
  if (slot.capacity < std::max<size_t>(size, 1)) {
    slot.block.reset();
    slot.capacity = 0;
    slot.block.reset(new (std::nothrow) uint8_t[std::max<size_t>(size, 1)]);
    if (!slot.block) return nullptr;
    slot.capacity = std::max<size_t>(size, 1);
  }
  return slot.block.get();
}

}  // namespace deskcap::capture_slots
