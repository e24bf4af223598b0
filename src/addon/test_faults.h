// Test builds only: lets the suites make an export's work fail abnormally, to
// check how such endings reach the Promise. DESKCAP_TEST_FAULT names the export.
#pragma once

#include <cstdlib>
#include <cstring>
#include <stdexcept>

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

}  // namespace deskcap::js
