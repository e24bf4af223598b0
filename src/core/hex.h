// Hexadecimal text, as the fake world writes colours and byte strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deskcap {

// The bytes that pairs of hex digits (either case) spell; nullopt for an odd
// length or any other character.
std::optional<std::string> from_hex(std::string_view text);

}  // namespace deskcap
