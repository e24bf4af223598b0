// The TCC framework handle, opened at most once per process at the first
// permission call and never closed (looked-up functions may run until exit).
#pragma once

#include <atomic>
#include <deque>
#include <mutex>

namespace deskcap::native {

struct TccFramework {
  TccFramework() { once.store(&tokens.emplace_back()); }
  std::deque<std::once_flag> tokens;  // the current one last; a new one after a fresh start
  std::atomic<std::once_flag*> once{nullptr};
  std::atomic<void*> handle{nullptr};
};
// Made once, never destroyed.
TccFramework& tcc_framework();
// A function of the framework (opened at the first call), or null; looked up
// at every call, the address is not kept. Thread: any.
void* tcc_function(const char* name);

}  // namespace deskcap::native
