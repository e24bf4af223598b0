// Bounds how many captures hold a full-size pixel block at once (extracting
// and encoding), so that peak memory stays near that bound times one image,
// and keeps each slot's block for the next capture: no fresh pages, no page
// faults, on every capture. Blocks are freed once the encoder has been idle
// for a few seconds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace deskcap::capture_slots {

// A quarter of the processors, at least one: encoding already uses every core.
size_t count();

class Lease {
 public:
  // Blocks until a slot is free.
  static Lease acquire();

  Lease() = default;
  Lease(Lease&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
  Lease& operator=(Lease&& other) noexcept;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  ~Lease();

  // The slot's block, of at least `size` bytes (its old contents are left as
  // they are), or nullptr when memory runs out.
  uint8_t* block(size_t size);

 private:
  explicit Lease(int slot) : slot_(slot) {}
  void release();
  int slot_ = -1;
};

}  // namespace deskcap::capture_slots
