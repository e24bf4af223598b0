// Reading the JSON documents of the native layer: parsed whole, never bound to
// a schema, read field by field with lenient rules.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/error.h"

namespace deskcap {

using Json = nlohmann::json;

// Parses one JSON value; only whitespace (space, tab, LF, CR) may follow it and
// nesting deeper than 128 is refused. A failure is GenericFailure with
// `prefix` followed by a description of the error that gives its line and
// column. Numbers keep their kind: unsigned integer, negative integer, float.
Result<Json> parse_document(const std::string& text, const std::string& prefix);

// Lenient readers: a lookup in anything but an object, or an absent key, is
// JSON null; a non-number reads as 0; a non-string reads as "".
const Json& field(const Json& document, const char* key);
double number_field(const Json& document, const char* key);
std::string text_field(const Json& document, const char* key);

}  // namespace deskcap
