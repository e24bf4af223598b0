// What the screen section's files share: a filter's content and a
// configuration's settings as plain values (a stream keeps copies of both),
// and the grab that screenshots and stream frames both take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>

#include "platform/linux/base_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace deskcap::linux_backend {

struct FilterContent {
  std::optional<x11::Output> display;  // a display with windows left out...
  std::set<uint32_t> left_out;         // ...these top-levels
  std::optional<x11::Window> window;   // or one window alone
};

struct CaptureSettings {
  size_t width = 0, height = 0;
  bool shows_cursor = true;
  std::optional<platform::Rect> source_rect;
  double frame_interval = 0;  // seconds; 0 for the stream's default
  int32_t queue_depth = 0;    // unused: each sample's pixels go back before the next grab
};

// The content's pixels as the settings ask: the pointer drawn in when shown,
// shrunk to the configured size when that is smaller. B G R A rows; `alpha`
// false when the fourth byte means nothing.
x11::Grab grab_content(const FilterContent& content, const CaptureSettings& settings);

}  // namespace deskcap::linux_backend

namespace deskcap::platform {

// LinuxObject first: release() finds the count at the object's address.
struct ContentFilter : linux_backend::LinuxObject, linux_backend::FilterContent {};
struct StreamConfiguration : linux_backend::LinuxObject, linux_backend::CaptureSettings {};

}  // namespace deskcap::platform
