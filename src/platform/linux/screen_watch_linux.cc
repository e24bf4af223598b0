// Display reconfiguration callbacks, served by a thread of the backend's own
// over an X connection of its own (x11::watch_outputs). The X server tells
// that something changed, not how each display took it: each registered
// callback runs once per settled burst of changes with display 0 and
// kDesktopShapeChanged alone (no kBeginConfiguration), and the callee reads
// the display list again. That list is asked of the server at every call, so
// it already holds the change when the callback runs.
#include "platform/linux/watch_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

namespace watch = linux_backend::watch;

constexpr int32_t kCGErrorFailure = 1000;
constexpr int32_t kCGErrorIllegalArgument = 1001;

struct Registration {
  DisplayReconfigurationCallback callback;
  void* context;
  bool operator==(const Registration&) const = default;
};

void serve(watch::Watch<Registration>& watch, watch::Run& run) {
  linux_backend::x11::watch_outputs(run, [&] {
    watch.notify(
        run, [](const Registration&) { return true; },
        [](const Registration& r) { r.callback(0, display_change::kDesktopShapeChanged, r.context); });
  });
}

watch::Watch<Registration>& registrations() {
  // Never destroyed: its thread may still run while exit() does.
  static auto& watch = *new watch::Watch<Registration>(serve);
  return watch;
}

}  // namespace

// Registered whether or not a server answers now: the watch keeps trying.
int32_t display_register_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  if (callback == nullptr) return kCGErrorIllegalArgument;
  auto added = registrations().add({callback, context});
  return added == watch::Watch<Registration>::Added::Failed ? kCGErrorFailure : 0;
}

int32_t display_remove_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  return registrations().remove({callback, context}) ? 0 : kCGErrorIllegalArgument;
}

}  // namespace deskcap::platform
