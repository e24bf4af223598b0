#include "boundary/json_text.h"

#include <cstdlib>
#include <cstring>

#include "boundary/native.h"
#include "platform/platform.h"

namespace deskcap::native {

char* heap_copy(const std::string& text) {
  auto* block = static_cast<char*>(platform::boundary_malloc(text.size() + 1));
  if (block == nullptr) return nullptr;
  std::memcpy(block, text.data(), text.size());
  block[text.size()] = '\0';
  return block;
}

char* json_text_from_object(const nlohmann::json& value) {
  std::string text;
  try {
    text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return nullptr;
  }
  return heap_copy(text);
}

}  // namespace deskcap::native

extern "C" void native_free(void* pointer) { std::free(pointer); }
