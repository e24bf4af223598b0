// Base of the few framework-shaped objects the Linux backend hands out.
#pragma once

#include <atomic>

namespace deskcap::linux_backend {

struct LinuxObject {
  virtual ~LinuxObject() = default;
  std::atomic<long> references{1};
};

}  // namespace deskcap::linux_backend
