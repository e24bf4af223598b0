// The product never scripts the C boundary's answers; only test worlds do.
#include "platform/platform.h"

namespace deskcap::platform {

std::optional<std::optional<std::string>> raw_native_answer(const char* function) {
  return std::nullopt;
}

}  // namespace deskcap::platform
