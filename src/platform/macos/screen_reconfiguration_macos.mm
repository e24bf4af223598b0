// Display reconfiguration callbacks, delivered from a thread of the backend's
// own that reads the arrangement about once a second.
//
// Why not CGDisplayRegisterReconfigurationCallback itself:
// - CGDisplayConfiguration.h (macOS SDK): "Callbacks are invoked when the app
//   is listening for events, on the event processing thread, or from within
//   the display reconfiguration function when in the program that is driving
//   the reconfiguration." Apple's guide says the same ("Your application is
//   listening for events in the event-processing thread"):
//   https://developer.apple.com/library/archive/documentation/GraphicsImaging/Conceptual/QuartzDisplayServicesConceptual/Articles/Notification.html
//   and of the sibling CGRegisterScreenRefreshCallback: "invoked only if your
//   application has an active event loop ... in the same thread of execution
//   that is processing events".
// - Both reconfiguration calls "are delivered as events from the window
//   server" (https://bugreports.qt.io/browse/QTBUG-80193). The open code that
//   receives them runs an AppKit event loop on the main thread: Chromium's
//   ui/display/mac/screen_mac.mm (a Cocoa app), tasuren/display-observer-rs
//   src/macos.rs (runs NSApplication on the main thread for them), and a
//   Sunshine fork's src/platform/macos/vd_helper.m, which found that "running
//   the bare Core Foundation run loop does not dispatch the AppKit event
//   queue" and pumps NSApp events instead.
// A plain node host never turns its main thread's loop, so the callbacks
// would never come; Electron's main thread would get them, but on a thread
// that is not the backend's. Nothing documents delivery to a CFRunLoop turned
// by a thread of one's own, so the backend does not rely on it.
//
// What this does instead: while a callback is registered, a thread reads
// CGGetActiveDisplayList, each display's CGDisplayBounds and mode widths and
// CGMainDisplayID, and reports a difference from the last reading as
// CoreGraphics would (screen_arrangement_macos.h). The real callback is still
// registered, only to wake that thread at once where the host's event loop
// does deliver it (an AppKit host), so that it need not wait for the second.
// A change that is undone between two readings is not seen.
#import <CoreFoundation/CoreFoundation.h>
#import <CoreGraphics/CoreGraphics.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/macos/base_macos.h"
#include "platform/macos/registrations_macos.h"
#include "platform/macos/screen_arrangement_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

namespace {

using macos::Arrangement;
using macos::DisplayNotice;
using macos::DisplayReading;
using macos::ScopedCF;

static_assert(display_change::kBeginConfiguration == kCGDisplayBeginConfigurationFlag);

constexpr int32_t kFailure = 1000;          // kCGErrorFailure
constexpr int32_t kIllegalArgument = 1001;  // kCGErrorIllegalArgument
constexpr std::chrono::seconds kReadingInterval{1};

struct CallbackKey {
  DisplayReconfigurationCallback callback;
  void* context;
  bool operator==(const CallbackKey& o) const {
    return callback == o.callback && context == o.context;
  }
};
using Callbacks = macos::Registrations<CallbackKey>;

struct Watch {
  std::mutex lock;
  std::condition_variable changed;
  Callbacks callbacks;
  bool thread_started = false;
  bool wake = false;
  // The reading changes are measured from; replaced (and `epoch` counted up)
  // when a first callback is registered after none was.
  bool has_baseline = false;
  Arrangement baseline;
  uint64_t epoch = 0;
};

// Never destroyed: the thread runs for the process, and a callback read from
// a record may still be running when a static destructor would run.
Watch& watch() {
  static Watch& w = *new Watch;
  return w;
}

bool ReadArrangement(Arrangement* out) {
  AutoreleasePool pool;
  uint32_t count = 0;
  if (CGGetActiveDisplayList(0, nullptr, &count) != kCGErrorSuccess) return false;
  std::vector<CGDirectDisplayID> ids(count);
  // A display added between the two calls is left for the next reading.
  if (count > 0 && CGGetActiveDisplayList(count, ids.data(), &count) != kCGErrorSuccess)
    return false;
  ids.resize(count);
  out->displays.clear();
  for (CGDirectDisplayID id : ids) {
    DisplayReading reading;
    reading.id = id;
    reading.bounds = macos::RectFrom(CGDisplayBounds(id));
    ScopedCF<CGDisplayModeRef> mode(CGDisplayCopyDisplayMode(id));
    if (mode) {
      reading.pixel_width = CGDisplayModeGetPixelWidth(mode.get());
      reading.point_width = CGDisplayModeGetWidth(mode.get());
    }
    out->displays.push_back(reading);
  }
  out->main = CGMainDisplayID();
  return true;
}

void Deliver(const std::vector<DisplayNotice>& notices, const std::vector<Callbacks::Record*>& to) {
  for (const DisplayNotice& notice : notices) {
    for (Callbacks::Record* record : to) {
      // Checked per call: once removal has cleared the flag, no call starts.
      if (!record->active.load(std::memory_order_acquire)) continue;
      try {
        record->key.callback(notice.display, notice.flags, record->key.context);
      } catch (...) {
        // The callee's exception stops at this thread's edge.
      }
    }
  }
}

// Runs wherever CoreGraphics delivers (the main thread of an AppKit host).
void WakeOnReconfiguration(CGDirectDisplayID, CGDisplayChangeSummaryFlags flags, void*) {
  // The arrangement is only up to date in the call after the change.
  if ((flags & kCGDisplayBeginConfigurationFlag) != 0) return;
  Watch& w = watch();
  {
    std::lock_guard<std::mutex> guard(w.lock);
    w.wake = true;
  }
  w.changed.notify_all();
}

void PollOnce(Watch& w, std::vector<Callbacks::Record*>* to) {
  uint64_t epoch = 0;
  {
    std::unique_lock<std::mutex> guard(w.lock);
    w.changed.wait(guard, [&] { return w.callbacks.active_count() > 0; });
    w.changed.wait_for(guard, kReadingInterval,
                       [&] { return w.wake || w.callbacks.active_count() == 0; });
    if (w.callbacks.active_count() == 0) return;
    w.wake = false;
    epoch = w.epoch;
  }
  Arrangement now;
  if (!ReadArrangement(&now)) return;
  std::vector<DisplayNotice> notices;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    // A baseline taken meanwhile is at least as new as this reading.
    if (w.epoch != epoch || !w.has_baseline) return;
    notices = macos::reconfiguration_notices(w.baseline, now);
    if (notices.empty()) return;
    w.baseline = std::move(now);
    w.callbacks.copy_active(to);
  }
  Deliver(notices, *to);
}

void WatchThread() {
  // Never removed: it only wakes this thread, which lives as long.
  CGDisplayRegisterReconfigurationCallback(WakeOnReconfiguration, nullptr);
  Watch& w = watch();
  std::vector<Callbacks::Record*> to;
  for (;;) {
    try {
      PollOnce(w, &to);
    } catch (...) {
      // Out of memory for a reading: the next one tries again.
      std::this_thread::sleep_for(kReadingInterval);
    }
  }
}

}  // namespace

int32_t display_register_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  if (callback == nullptr) return kIllegalArgument;
  Watch& w = watch();
  try {
    // Read before taking the lock; used only when this is the first callback.
    Arrangement reading;
    bool read = ReadArrangement(&reading);
    bool start = false;
    {
      std::lock_guard<std::mutex> guard(w.lock);
      bool added = false;
      bool first = w.callbacks.active_count() == 0;
      if (w.callbacks.activate(CallbackKey{callback, context}, &added) == nullptr) return kFailure;
      if (!added) return kCGErrorSuccess;
      if (first || !w.has_baseline) {
        w.has_baseline = read;
        if (read) w.baseline = std::move(reading);
        ++w.epoch;
      }
      start = !w.thread_started;
      w.thread_started = true;
    }
    w.changed.notify_all();
    if (!start) return kCGErrorSuccess;
    try {
      std::thread(WatchThread).detach();
    } catch (const std::system_error&) {
      std::lock_guard<std::mutex> guard(w.lock);
      w.thread_started = false;
      w.callbacks.deactivate(CallbackKey{callback, context});
      if (w.callbacks.active_count() == 0) w.has_baseline = false;
      return kFailure;
    }
    return kCGErrorSuccess;
  } catch (const std::exception&) {
    return kFailure;
  }
}

int32_t display_remove_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  Watch& w = watch();
  {
    std::lock_guard<std::mutex> guard(w.lock);
    if (w.callbacks.deactivate(CallbackKey{callback, context}) == nullptr) return kIllegalArgument;
    if (w.callbacks.active_count() == 0) w.has_baseline = false;
  }
  // Lets an idle thread go back to waiting without a reading.
  w.changed.notify_all();
  return kCGErrorSuccess;
}

}  // namespace deskcap::platform
