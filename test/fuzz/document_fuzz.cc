// libFuzzer target: any bytes give a document or a GenericFailure with the prefix; a document
// survives a round trip through its own serialisation, and the readers answer for its keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace deskcap;
  static const std::string kPrefix = "fuzz: ";
  const std::string text(reinterpret_cast<const char*>(data), size);
  Result<Json> parsed = parse_document(text, kPrefix);
  if (!parsed.ok()) {
    if (parsed.error().status != Status::GenericFailure || parsed.error().reason.rfind(kPrefix, 0) != 0) std::abort();
    return 0;
  }
  const Json& doc = parsed.value();
  // Invalid UTF-8 inside strings is the caller's to repair; serialise it as is.
  const std::string again = doc.dump(-1, ' ', false, Json::error_handler_t::ignore);
  Result<Json> reparsed = parse_document(again, kPrefix);
  // Floats that do not fit a double serialise as null; anything else is a fault.
  if ((!reparsed.ok() || reparsed.value() != doc) && again.find("null") == std::string::npos) std::abort();
  if (doc.is_object())
    for (const auto& item : doc.items()) {
      const char* key = item.key().c_str();
      (void)field(doc, key), (void)number_field(doc, key), (void)text_field(doc, key);
    }
  return 0;
}
