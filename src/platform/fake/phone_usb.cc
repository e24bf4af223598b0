// The IOKit USB registry of the fake world: services of a class with their
// registry properties, or a failing query.
#include <cctype>
#include <climits>

#include "platform/fake/phone_fake.h"

namespace deskcap::platform {

struct UsbService : fake::FakeObject {
  fake::json properties;
};

int32_t usb_matching_services(const char* class_name, std::vector<UsbService*>* services) {
  fake::count_phone(fake::PhoneCounter::UsbQueries);
  auto world = fake::phone_world();
  if (world->usb_status != 0) return world->usb_status;
  if (!world->usb_services.is_array()) return 0;
  for (const fake::json& entry : world->usb_services) {
    if (!entry.is_object()) continue;
    std::string service_class = entry.value("class", std::string("IOUSBHostDevice"));
    if (service_class != class_name) continue;
    auto* service = new UsbService;
    service->properties = entry;
    services->push_back(service);
  }
  return 0;
}

std::optional<RegistryValue> usb_registry_property(UsbService* service, const char* name) {
  auto it = service->properties.find(name);
  if (it == service->properties.end()) return std::nullopt;
  RegistryValue value;
  if (it->is_number_integer()) {
    value.is_number = true;
    value.number = it->get<int64_t>();
  } else if (it->is_number_float()) {
    value.is_number = true;
    value.number = static_cast<int64_t>(it->get<double>());
  } else if (it->is_string()) {
    value.text = it->get<std::string>();
  } else {
    return std::nullopt;
  }
  return value;
}

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
