// Addon side of the C boundary's text: taking over heap C strings and the rule
// for text arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace deskcap {

// UTF-8 with every ill-formed sequence replaced by U+FFFD (maximal subparts).
std::string repair_utf8(std::string_view bytes);

// Strict UTF-8, as NSString's stringWithUTF8String: accepts it: no overlong
// forms, no surrogates, nothing past U+10FFFF, no cut sequence.
bool is_valid_utf8(std::string_view bytes);

// Takes over a native heap C string: measures it to the first NUL, copies it as
// repaired UTF-8 and hands the block back with native_free before anything else.
// nullopt for NULL.
std::optional<std::string> take_heap_string(char* text);

// Text arguments bound for a native function must not hold a NUL: refuse them
// before any native call with GenericFailure and the export's own message.
std::optional<Error> refuse_text_with_nul(const std::string& text, const char* message);

}  // namespace deskcap
