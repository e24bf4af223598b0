// Native side of the C boundary's documents: compact JSON in a malloc'ed block.
#pragma once

#include <nlohmann/json.hpp>

namespace deskcap::native {

// Serialises compactly and copies into a malloc'ed NUL-terminated block that the
// caller hands back with native_free; NULL when the block cannot be allocated.
// Strings that are not valid UTF-8 are repaired with U+FFFD rather than dropped.
char* json_text_from_object(const nlohmann::json& value);

// A malloc'ed NUL-terminated copy of `text`, NULL when the allocation fails.
char* heap_copy(const std::string& text);

}  // namespace deskcap::native
