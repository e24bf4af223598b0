// Counting Apple devices on USB tells a phone that is plugged in but not
// published as a capture device (locked, not trusted) from one that is absent.
#include <optional>
#include <string>

#include "boundary/c_guard.h"
#include "boundary/native.h"
#include "phone/phone_internal.h"

namespace deskcap::phone {
namespace {

constexpr int kAppleVendorId = 1452;  // 0x05AC

std::string text_or(const std::optional<platform::RegistryValue>& value, const char* fallback) {
  return value ? value->string_value() : std::string(fallback);
}

}  // namespace

unsigned long scan_usb_devices(bool verbose) {
  std::vector<platform::UsbService*> raw;
  int32_t status = platform::usb_matching_services("IOUSBHostDevice", &raw);
  std::vector<platform::Ref<platform::UsbService>> services;
  services.reserve(raw.size());
  for (platform::UsbService* service : raw) services.emplace_back(service);
  if (status != 0) {
    ios_log("usb_scan_failed status=0x%x", static_cast<unsigned>(status));
    return 0;
  }

  unsigned long total = 0;
  unsigned long apple = 0;
  for (const auto& service : services) {
    auto vendor = platform::usb_registry_property(service.get(), "idVendor");
    auto product = platform::usb_registry_property(service.get(), "idProduct");
    auto name = platform::usb_registry_property(service.get(), "USB Product Name");
    ++total;
    int vendor_id = vendor ? vendor->int_value() : 0;
    if (vendor_id != kAppleVendorId) continue;
    ++apple;
    auto configs = platform::usb_registry_property(service.get(), "bNumConfigurations");
    auto active = platform::usb_registry_property(service.get(), "bConfigurationValue");
    if (!verbose) continue;
    std::string product_name = name ? name->string_value() : std::string();
    if (product_name.empty()) product_name = "(unnamed)";
    ios_log("usb_apple_device name=%s vendor=0x%04x product=0x%04x configs=%s active=%s",
            product_name.c_str(), static_cast<unsigned>(vendor_id),
            static_cast<unsigned>(product ? product->int_value() : 0), text_or(configs, "?").c_str(),
            text_or(active, "?").c_str());
  }
  if (verbose) ios_log("usb_scan total=%lu apple=%lu", total, apple);
  return apple;
}

}  // namespace deskcap::phone

extern "C" uint32_t count_usb_apple_devices(void) {
  return deskcap::guarded<uint32_t>(0, [] {
    deskcap::platform::AutoreleasePool pool;
    return static_cast<uint32_t>(deskcap::phone::scan_usb_devices(false));
  });
}
