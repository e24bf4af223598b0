// getScreenCaptureAccess and requestScreenCaptureAccess: the Screen Recording
// permission as the system reports it.
#include "desktop/desktop_steps.h"
#include "desktop/tcc_framework.h"
#include "platform/platform.h"

namespace deskcap {

// TCC tells "never asked" from "refused"; CoreGraphics answers only yes or
// no, so without TCC "denied" stands for both.
std::string screen_capture_access_step() {
  if (void* preflight = native::tcc_function("TCCAccessPreflight")) {
    switch (platform::tcc_call_preflight(preflight, platform::TccService::ScreenCapture)) {
      case 0: return "granted";
      case 1: return "denied";
      case 2: return "not-determined";
      default: break;  // an answer this system does not know: ask CoreGraphics
    }
  }
  std::optional<bool> granted = platform::screen_capture_preflight();
  if (!granted) return "unknown";
  return *granted ? "granted" : "denied";
}

bool request_screen_capture_access_step() { return platform::screen_capture_request(); }

}  // namespace deskcap
