// libFuzzer target: the text repair. Its output is always valid UTF-8, valid
// input comes back unchanged, and repairing twice changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace deskcap;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string repaired = repair_utf8(bytes);
  if (!is_valid_utf8(repaired)) std::abort();
  if (is_valid_utf8(bytes) && repaired != bytes) std::abort();
  if (repair_utf8(repaired) != repaired) std::abort();
  return 0;
}
