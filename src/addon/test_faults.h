// Test builds only: lets the suites make an export's work fail abnormally, to
// check how such endings reach the Promise (DESKCAP_TEST_FAULT names the
// export), and make a callback itself throw std::bad_alloc, to check that the
// guard stops it (DESKCAP_TEST_CALLBACK_FAULT lists the names, comma-separated).
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace deskcap::js {

inline void maybe_inject_fault(const char* export_name) {
#if DESKCAP_TESTING
  const char* wanted = std::getenv("DESKCAP_TEST_FAULT");
  if (wanted != nullptr && std::strcmp(wanted, export_name) == 0)
    throw std::runtime_error(std::string("injected fault in ") + export_name);
#else
  (void)export_name;
#endif
}

inline void maybe_inject_callback_fault(const char* name) {
#if DESKCAP_TESTING
  // Read once: a suite sets it for a whole child process.
  static const std::string wanted = [] {
    const char* names = std::getenv("DESKCAP_TEST_CALLBACK_FAULT");
    return names != nullptr ? std::string(",") + names + "," : std::string();
  }();
  if (!wanted.empty() && wanted.find(std::string(",") + name + ",") != std::string::npos)
    throw std::bad_alloc();
#else
  (void)name;
#endif
}

}  // namespace deskcap::js
