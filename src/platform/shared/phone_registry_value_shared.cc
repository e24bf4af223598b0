// What Foundation's intValue and stringValue answer for a registry property,
// for the backends that hold the values as plain numbers and text.
#include <cctype>
#include <climits>
#include <string>

#include "platform/platform.h"

namespace deskcap::platform {

// NSNumber intValue truncates to int; NSString intValue reads an optional
// sign and digits after leading blanks and saturates.
int RegistryValue::int_value() const {
  if (is_number) return static_cast<int>(static_cast<uint32_t>(number));
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) return magnitude > static_cast<long long>(INT_MAX) + 1 ? INT_MIN : static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

std::string RegistryValue::string_value() const { return is_number ? std::to_string(number) : text; }

}  // namespace deskcap::platform
