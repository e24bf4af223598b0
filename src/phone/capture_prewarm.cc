// prewarmIosCapture, native side: allow screen-capture devices and start the
// device watch early, so that a later listing or capture finds the phone at once.
#include "boundary/c_guard.h"
#include "boundary/native.h"
#include "phone/phone_internal.h"

namespace {

void prewarm() {
  using namespace deskcap::phone;
  deskcap::platform::AutoreleasePool pool;
  ios_log("prewarm_begin");
  enable_screen_capture_devices();
  scan_capture_devices(true);
  start_device_watch();
  ios_log("prewarm_done allow_flag=%u", allow_screen_capture_flag());
}

}  // namespace

extern "C" void ios_prewarm_capture(void) { deskcap::guarded(prewarm); }
