// The display watch's own X connection: the shared one answers requests from
// any thread, and events read there would be taken from nobody in particular.
#include <xcb/randr.h>

#include <chrono>
#include <memory>

#include "platform/linux/x11_connection_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/linux/x11_calls_linux.h"  // last: it renames xcb's functions

namespace deskcap::linux_backend::x11 {
namespace {

using Clock = std::chrono::steady_clock;
// One xrandr command makes several notifications, close together.
constexpr auto kSettle = std::chrono::milliseconds(50);
constexpr int kRetryMs = 1000;

// A connection with RandR's notifications selected on the root; null when no
// server answers. A server (or a build) without RandR changes no display, but
// the connection still tells when the server goes away.
OwnConnection connect_selecting() {
  const XcbLibrary& xcb = xcb_library();
  xcb_window_t root = 0;
  OwnConnection c = connect_own(&root);
  if (!c) return nullptr;
  const xcb_query_extension_reply_t* randr =
      xcb.randr ? xcb_get_extension_data(c.get(), &xcb_randr_id) : nullptr;
  if (randr != nullptr && randr->present) {
    // The server sends only the notifications of the version a client announced.
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c.get(), xcb_randr_query_version(c.get(), 1, 5), nullptr));
    if (version && (version->major_version > 1 || version->minor_version >= 2))
      xcb_randr_select_input(c.get(), root,
                             XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                 XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
  }
  // A round trip: the selection is in force before the first call says so.
  Reply<xcb_get_input_focus_reply_t> sync(
      xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
  if (!sync) return nullptr;
  return c;
}

// Until the run stops or the connection breaks.
void serve(watch::Run& run, xcb_connection_t* c, const std::function<void()>& changed) {
  const int fd = xcb_get_file_descriptor(c);
  bool pending = false;
  Clock::time_point last;
  for (;;) {
    // Events may wait inside xcb already, read with a reply.
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
      pending = true;
      last = Clock::now();
    }
    if (xcb_connection_has_error(c)) return;
    int timeout = -1;
    if (pending) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(last + kSettle - Clock::now());
      if (left.count() <= 0) {
        pending = false;
        changed();
        continue;
      }
      timeout = static_cast<int>(left.count());
    }
    if (run.wait(fd, timeout) == watch::Run::Woken::Stopped) return;
  }
}

}  // namespace

void watch_outputs(watch::Run& run, const std::function<void()>& changed) {
  while (!run.stopping()) {
    OwnConnection c = connect_selecting();
    if (!c) {
      run.wait(-1, kRetryMs);
      continue;
    }
    changed();
    serve(run, c.get(), changed);
  }
}

}  // namespace deskcap::linux_backend::x11
