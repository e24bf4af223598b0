// Worker-side steps of the phone exports (all but takeIosLog): each calls its
// native function on a blocking thread and reads the answer into plain data.
#include <cstring>
#include <string>

#include "core/document.h"
#include "boundary/heap_text.h"
#include "boundary/native.h"
#include "phone/phone_internal.h"

namespace deskcap {
namespace {

// Only a non-negative integer is a size; its low 32 bits are kept.
uint32_t size_field(const Json& entry, const char* key) {
  const Json& value = field(entry, key);
  if (!value.is_number_unsigned()) return 0;
  return static_cast<uint32_t>(value.get<uint64_t>());
}

}  // namespace

namespace phone {

Result<std::vector<IosDevice>> read_device_list(const std::optional<std::string>& text) {
  if (!text) return Error("Could not enumerate connected devices");
  Result<Json> parsed = parse_document(*text, "Malformed device list: ");
  if (!parsed.ok()) return parsed.take_error();
  const Json& document = parsed.value();
  if (!document.is_array()) return Error("Device list was not an array");
  std::vector<IosDevice> devices;
  for (const Json& entry : document) {
    if (!entry.is_object()) continue;
    const Json& id = field(entry, "uniqueId");
    if (!id.is_string() || id.get_ref<const std::string&>().empty()) continue;
    IosDevice device;
    device.unique_id = id.get<std::string>();
    device.name = text_field(entry, "name");
    device.model_id = text_field(entry, "modelId");
    device.width = size_field(entry, "width");
    device.height = size_field(entry, "height");
    devices.push_back(std::move(device));
  }
  return devices;
}

}  // namespace phone

Result<std::vector<IosDevice>> list_ios_devices_step() {
  return phone::read_device_list(take_heap_string(ios_list_devices()));
}

uint32_t usb_apple_device_count_step() { return count_usb_apple_devices(); }

Result<CapturedPng> capture_ios_device_step(const std::string& unique_id) {
  if (auto refused = refuse_text_with_nul(unique_id, "Device id contained a null byte"))
    return std::move(*refused);
  uint8_t* png = nullptr;
  size_t length = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  char* error_text = nullptr;
  int32_t status = ios_capture_device(unique_id.c_str(), &png, &length, &width, &height, &error_text);
  if (status == IOS_CAPTURE_OK && png != nullptr) {
    CapturedPng result;
    result.png.assign(png, png + length);
    native_free(png);
    native_free(error_text);
    result.width = width;
    result.height = height;
    return result;
  }
  native_free(png);
  if (auto message = take_heap_string(error_text)) {
    Error failure(std::move(*message));
    if (status == IOS_CAPTURE_CAMERA_REFUSED) failure.permission = Permission::Camera;
    return failure;
  }
  return Error("Device capture failed with status " + std::to_string(status));
}

void prewarm_ios_capture_step() { ios_prewarm_capture(); }

}  // namespace deskcap
