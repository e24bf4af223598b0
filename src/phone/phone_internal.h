// Machinery shared by the phone-capture sources: enabling screen-capture
// devices, scanning and watching capture devices, the USB census and frame
// encoding. Everything here runs on worker threads or notification threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "phone/phone_steps.h"
#include "platform/platform.h"

namespace deskcap::phone {

using DeviceRef = platform::Ref<platform::CaptureDevice>;
using DeviceList = std::vector<DeviceRef>;

// Takes over a framework answer whose entries are each +1.
DeviceList adopt_devices(std::vector<platform::CaptureDevice*> raw);

// ---- screen_capture_enable.cc
// True once screen-capture devices are allowed; a failure is retried next call.
bool enable_screen_capture_devices();
// The property's value, or all bits set when it cannot be read.
uint32_t allow_screen_capture_flag();

// ---- device_scan.cc
// Distinct muxed devices of the six sources, in order of first sighting.
DeviceList scan_capture_devices(bool verbose);
// Rescans for up to 3 seconds while nothing is found.
DeviceList warm_up_device_scan(bool verbose);
// Every video or muxed device the system reports, then the totals.
void log_capture_devices();
// "muxed", "video", "audio" joined by "+", or "none".
std::string media_description(platform::CaptureDevice* device);

// ---- device_watch.cc
// Runs once per process (later calls return at once, after the first finished).
void start_device_watch();
// The watch's discovery session (borrowed), null before the watch started.
platform::DiscoverySession* watch_session();
// A copy of the devices reported connected and not yet disconnected.
DeviceList known_devices();

// ---- device_listing.cc
const char* camera_authorization_name(int64_t status);
// Fingerprint of what the system shows; `found` may be null.
std::string device_landscape_summary(unsigned long usb, const DeviceList* found);

// ---- usb_census.cc
// Apple devices (vendor 0x05AC) among the USB host devices.
unsigned long scan_usb_devices(bool verbose);

// ---- phone_capture.cc
// The capture's answer when camera access is refused.
inline constexpr const char* kCameraAccessText =
    "Corvanta needs camera access to capture a connected phone. Grant it in System Settings > "
    "Privacy & Security > Camera.";
// The first 8 UTF-16 units of an id longer than that, else the whole id;
// "(null)" for text that is not UTF-8, as the log shows a nil string.
std::string short_device_id(const std::string& id);
// PNG of a frame; the size slots are set once rendered, even if encoding fails.
std::optional<std::vector<uint8_t>> encode_frame_png(platform::PixelBuffer* frame, uint32_t* width,
                                                     uint32_t* height);

// ---- phone_steps.cc
// The worker-side reading of a device list answer (nullopt for NULL).
Result<std::vector<IosDevice>> read_device_list(const std::optional<std::string>& text);


}  // namespace deskcap::phone
