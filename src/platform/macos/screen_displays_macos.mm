// CoreGraphics display queries.
#import <CoreGraphics/CoreGraphics.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

int32_t get_active_display_list(uint32_t max, uint32_t* ids, uint32_t* count) {
  return CGGetActiveDisplayList(max, ids, count);
}

uint32_t main_display_id() { return CGMainDisplayID(); }

Rect display_bounds(uint32_t display_id) { return macos::RectFrom(CGDisplayBounds(display_id)); }

DisplayMode* display_copy_mode(uint32_t display_id) {
  return reinterpret_cast<DisplayMode*>(CGDisplayCopyDisplayMode(display_id));
}

// The pixel width differs from the point width on Retina and scaled modes,
// which is how the backing scale is told without asking AppKit.
size_t display_mode_pixel_width(DisplayMode* mode) {
  return CGDisplayModeGetPixelWidth(reinterpret_cast<CGDisplayModeRef>(mode));
}

size_t display_mode_width(DisplayMode* mode) {
  return CGDisplayModeGetWidth(reinterpret_cast<CGDisplayModeRef>(mode));
}

// CoreGraphics names no display.
std::optional<std::string> display_name(uint32_t) { return std::nullopt; }

// The system answers only yes or no; no is "not granted yet" as much as "refused".
std::optional<bool> screen_capture_preflight() { return CGPreflightScreenCaptureAccess(); }

// Shows the system prompt the first time only; a later grant in System Settings
// takes effect once the host restarts.
bool screen_capture_request() { return CGRequestScreenCaptureAccess(); }

DisplayCaptureLimit display_capture_limit() { return DisplayCaptureLimit::None; }

}  // namespace deskcap::platform
