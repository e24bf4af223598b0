// Worker-side steps of the phone exports: each calls its native function on a
// blocking thread and turns the answer into plain data or an Error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "screen/screen.h"

namespace deskcap {

struct IosDevice {
  std::string unique_id;
  std::string name;
  std::string model_id;
  uint32_t width = 0;
  uint32_t height = 0;
};

Result<std::vector<IosDevice>> list_ios_devices_step();
uint32_t usb_apple_device_count_step();
Result<CapturedPng> capture_ios_device_step(const std::string& unique_id);
void prewarm_ios_capture_step();
// Follows phones for the watch: enables screen-capture devices, starts the
// device watch, and from then on calls `hook` (on the notifying thread, with
// no lock held) for each muxed device connected or disconnected. Answers the
// phones present now. Blocking thread. A null hook stops the calls.
using IosDeviceHook = void (*)(bool connected, const IosDevice& device);
std::vector<IosDevice> follow_ios_devices(IosDeviceHook hook);
// Drains the device log into lines (the takeIosLog export).
std::vector<std::string> take_ios_log_step();

}  // namespace deskcap
