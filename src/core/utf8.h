// UTF-8 rules shared by every text that crosses from the OS into JavaScript.
#pragma once

#include <string>
#include <string_view>

namespace deskcap {

// UTF-8 with every ill-formed sequence replaced by U+FFFD (maximal subparts).
std::string repair_utf8(std::string_view bytes);

// Strict UTF-8, as NSString's stringWithUTF8String: accepts it: no overlong
// forms, no surrogates, nothing past U+10FFFF, no cut sequence.
bool is_valid_utf8(std::string_view bytes);

}  // namespace deskcap
