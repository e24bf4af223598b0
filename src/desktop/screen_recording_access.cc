// getScreenCaptureAccess and requestScreenCaptureAccess: the Screen Recording
// permission as the system reports it.
#include "desktop/desktop_steps.h"
#include "platform/platform.h"

namespace deskcap {

// The system answers only yes or no: "denied" stands for "not granted yet or refused".
std::string screen_capture_access_step() {
  std::optional<bool> granted = platform::screen_capture_preflight();
  if (!granted) return "unknown";
  return *granted ? "granted" : "denied";
}

bool request_screen_capture_access_step() { return platform::screen_capture_request(); }

}  // namespace deskcap
