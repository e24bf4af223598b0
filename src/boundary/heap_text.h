// Addon side of the C boundary's text: taking over heap C strings and the rule
// for text arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"

namespace deskcap {

// Takes over a native heap C string: measures it to the first NUL, copies it as
// repaired UTF-8 and hands the block back with native_free before anything else.
// nullopt for NULL.
std::optional<std::string> take_heap_string(char* text);

// Text arguments bound for a native function must not hold a NUL: refuse them
// before any native call with GenericFailure and the export's own message.
std::optional<Error> refuse_text_with_nul(const std::string& text, const char* message);

}  // namespace deskcap
