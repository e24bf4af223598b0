#include "boundary/heap_text.h"

#include <cstring>
#include <memory>

#include "boundary/native.h"
#include "core/utf8.h"

namespace deskcap {

std::optional<std::string> take_heap_string(char* text) {
  if (text == nullptr) return std::nullopt;
  // The block goes back on every path, a failed copy included.
  std::unique_ptr<char, void (*)(char*)> block(text, [](char* p) { native_free(p); });
  std::string copy = repair_utf8(std::string_view(text, std::strlen(text)));
  block.reset();
  return copy;
}

std::optional<Error> refuse_text_with_nul(const std::string& text, const char* message) {
  if (text.find('\0') != std::string::npos) return Error(Status::GenericFailure, message);
  return std::nullopt;
}

}  // namespace deskcap
