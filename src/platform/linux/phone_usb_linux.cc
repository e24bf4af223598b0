// The USB census on Linux, from sysfs: every entry of /sys/bus/usb/devices
// that is a device (it has idVendor; interfaces such as "1-1:1.0" do not)
// stands for one IOUSBHostDevice, its attribute files for the registry
// properties the census reads.
//
// Test hook: DESKCAP_SYSFS_USB_ROOT, when set, names another directory laid
// out like /sys/bus/usb/devices, so that tests can build a USB tree.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/linux/base_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {

struct UsbService : linux_backend::LinuxObject {
  std::string path;
};

namespace {

constexpr int32_t kIOReturnError = static_cast<int32_t>(0xE00002BC);
constexpr int32_t kIOReturnNotPrivileged = static_cast<int32_t>(0xE00002C1);

std::string usb_root() {
  const char* root = std::getenv("DESKCAP_SYSFS_USB_ROOT");
  return root != nullptr && *root != '\0' ? root : "/sys/bus/usb/devices";
}

// The first line of an attribute file; nullopt when it cannot be read.
std::optional<std::string> attribute(const std::string& directory, const char* name) {
  std::ifstream in(directory + "/" + name);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line) && !in.eof()) return std::nullopt;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::optional<RegistryValue> number_value(const std::optional<std::string>& text, int base) {
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(text->c_str(), &end, base);
  if (errno != 0 || end == text->c_str() || *end != '\0') return std::nullopt;
  RegistryValue value;
  value.is_number = true;
  value.number = n;
  return value;
}

}  // namespace

int32_t usb_matching_services(const char* class_name, std::vector<UsbService*>* services) {
  if (std::string(class_name) != "IOUSBHostDevice") return 0;
  std::string root = usb_root();
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) {
    // A system without a USB bus has no devices; anything else is a failure.
    if (errno == ENOENT) return 0;
    return errno == EACCES ? kIOReturnNotPrivileged : kIOReturnError;
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (attribute(root + "/" + name, "idVendor")) names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    auto* service = new UsbService;
    service->path = root + "/" + name;
    services->push_back(service);
  }
  return 0;
}

std::optional<RegistryValue> usb_registry_property(UsbService* service, const char* name) {
  std::string key = name;
  if (key == "idVendor" || key == "idProduct") return number_value(attribute(service->path, name), 16);
  if (key == "bNumConfigurations" || key == "bConfigurationValue")
    return number_value(attribute(service->path, name), 10);
  const char* file = key == "USB Product Name"       ? "product"
                     : key == "USB Vendor Name"      ? "manufacturer"
                     : key == "USB Serial Number"    ? "serial"
                                                     : nullptr;
  if (file == nullptr) return std::nullopt;
  auto text = attribute(service->path, file);
  if (!text) return std::nullopt;
  RegistryValue value;
  value.text = *text;
  return value;
}

}  // namespace deskcap::platform
