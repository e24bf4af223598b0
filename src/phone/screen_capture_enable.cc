// Screen-capture devices (USB phones) are published only once the process has
// set CoreMediaIO's "allow screen capture devices" system property.
#include <condition_variable>
#include <mutex>

#include "boundary/native.h"
#include "phone/phone_internal.h"
#include "phone/phone_state.h"

namespace deskcap::phone {
namespace {

constexpr uint32_t kSystemObject = 1;  // kCMIOObjectSystemObject
constexpr platform::PropertyAddress kAllowScreenCaptureDevices = {
    0x79657320,  // 'yes ' kCMIOHardwarePropertyAllowScreenCaptureDevices
    0x676C6F62,  // 'glob' kCMIOObjectPropertyScopeGlobal
    0,           // kCMIOObjectPropertyElementMain
};

}  // namespace

EnableState& enable_state() {
  static EnableState& state = *new EnableState;
  return state;
}

bool enable_screen_capture_devices() {
  EnableState& s = enable_state();
  {
    std::unique_lock<std::mutex> lock(s.lock);
    s.done.wait(lock, [&] { return !s.writing; });
    if (s.enabled) return true;
    s.writing = true;
  }
  int32_t status = platform::cmio_set_property_u32(kSystemObject, kAllowScreenCaptureDevices, 1);
  {
    std::lock_guard<std::mutex> lock(s.lock);
    s.writing = false;
    if (status == 0) s.enabled = true;
  }
  s.done.notify_all();
  if (status != 0) {
    ios_log("enable_failed status=%d", status);
    return false;
  }
  ios_log("enable_ok");
  return true;
}

uint32_t allow_screen_capture_flag() {
  uint32_t value = 0;
  int32_t status = platform::cmio_get_property_u32(kSystemObject, kAllowScreenCaptureDevices, &value);
  return status != 0 ? (value | 0xFFFFFFFFu) : value;
}

}  // namespace deskcap::phone
