// The IOKit USB registry of the fake world: services of a class with their
// registry properties, or a failing query.

#include "platform/fake/phone_fake.h"

namespace deskcap::platform {

struct UsbService : fake::FakeObject {
  UsbService() : FakeObject("UsbService") {}
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

}  // namespace deskcap::platform
