// listIosDevices, native side. Hosts poll it, so its full diagnostics are
// written only when what the system shows has changed since the last call.
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "boundary/c_guard.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "phone/phone_internal.h"
#include "phone/phone_state.h"

namespace deskcap::phone {
namespace {

using platform::CaptureDevice;
using platform::MediaType;

// True when `summary` differs from `slot` (or the slot is empty); stores it.
bool replace_summary(std::optional<std::string>& slot, const std::string& summary) {
  ListingState& s = listing_state();
  std::lock_guard<std::mutex> lock(s.lock);
  bool changed = !slot || *slot != summary;
  slot = summary;
  return changed;
}

std::string list_text(const nlohmann::json& list) {
  try {
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return "[]";
  }
}

}  // namespace

ListingState& listing_state() {
  static ListingState& state = *new ListingState;
  return state;
}

const char* camera_authorization_name(int64_t status) {
  switch (status) {
    case 0: return "not_determined";
    case 1: return "restricted";
    case 2: return "denied";
    case 3: return "authorized";
    default: return "unknown";
  }
}

std::string device_landscape_summary(unsigned long usb, const DeviceList* found) {
  std::string parts;
  auto add = [&](const std::string& part) {
    if (!parts.empty()) parts += ',';
    parts += part;
  };
  for (const DeviceRef& device : adopt_devices(platform::all_devices()))
    add(platform::device_unique_id(device.get()) + "/" +
        (platform::device_has_media_type(device.get(), MediaType::Muxed) ? "1" : "0"));
  for (const DeviceRef& device : known_devices()) add("notified:" + platform::device_unique_id(device.get()));
  if (found != nullptr)
    for (const DeviceRef& device : *found) add("found:" + platform::device_unique_id(device.get()));
  return "usb=" + std::to_string(usb) + ";" + parts;
}

}  // namespace deskcap::phone

namespace {

char* list_devices() {
  using namespace deskcap::phone;
  namespace platform = deskcap::platform;
  platform::AutoreleasePool pool;

  start_device_watch();
  unsigned long usb = scan_usb_devices(false);
  bool changed = replace_summary(listing_state().last_landscape, device_landscape_summary(usb, nullptr));

  DeviceList devices;
  bool diagnostics = false;
  if (changed) {
    ios_log("list_begin camera_authorization=%s os=%s",
            camera_authorization_name(platform::video_authorization_status()),
            platform::os_version_string().c_str());
    scan_usb_devices(true);
    if (!enable_screen_capture_devices()) {
      log_capture_devices();
      return deskcap::native::heap_copy("[]");
    }
    devices = warm_up_device_scan(true);
    diagnostics = true;
  } else {
    if (!enable_screen_capture_devices()) return deskcap::native::heap_copy("[]");
    devices = warm_up_device_scan(false);
    if (!devices.empty())
      diagnostics = replace_summary(listing_state().last_found, device_landscape_summary(usb, &devices));
  }

  if (diagnostics) {
    ios_log("list_found count=%lu allow_screen_capture_flag=%u", static_cast<unsigned long>(devices.size()),
            allow_screen_capture_flag());
    log_capture_devices();
    if (usb > 0 && devices.empty())
      ios_log("diagnosis apple_on_usb=%lu but_no_screen_device=yes likely=not_trusted_or_locked", usb);
  }

  nlohmann::json list = nlohmann::json::array();
  for (const DeviceRef& d : devices) {
    CaptureDevice* device = d.get();
    int32_t width = 0, height = 0;
    platform::device_active_dimensions(device, &width, &height);
    std::string unique_id = platform::device_unique_id(device);
    std::string model_id = platform::device_model_id(device);
    if (diagnostics)
      ios_log("list_device id=%s model_id=%s %dx%d", short_device_id(unique_id).c_str(), model_id.c_str(),
              width, height);
    list.push_back({{"uniqueId", unique_id},
                    {"name", platform::device_localized_name(device)},
                    {"modelId", model_id},
                    {"width", width},
                    {"height", height}});
  }
  return deskcap::native::heap_copy(list_text(list));
}

}  // namespace

extern "C" char* ios_list_devices(void) { return deskcap::guarded<char*>(nullptr, list_devices); }
