// What the screen section's files share: a filter's content and a
// configuration's settings as plain values (a stream keeps copies of both),
// the grab that screenshots and stream frames both take, and the frame a
// display stream keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "platform/linux/base_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"
#include "platform/shared/image_scale_shared.h"

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

// A display stream's last frame, with no windows left out: the screenshot
// grab_content would take, kept (and made opaque) so that a change redraws
// only the output pixels it reaches, from a grab of just the source they read.
class DisplayFrame {
 public:
  enum class Update { Changed, Unchanged, Failed };
  // After a tick in which `seen` changed: redrawn wholly at the first call,
  // for changes anywhere, after a move or a resize, or when the damage
  // covers most of the frame. Failed sets *error.
  Update update(const FilterContent& content, const CaptureSettings& settings, const x11::SourceWatch::Seen& seen,
                std::string* error);
  // Valid until the next update.
  const x11::Pixels& pixels() const { return frame_; }

 private:
  Update redraw_whole(const platform::Rect& area, const CaptureSettings& settings, std::string* error);
  bool redraw(const platform::shared::Region& output, const std::optional<x11::CursorImage>& cursor);

  x11::OwnedPixels frame_{0, 0};
  bool drawn_ = false;
  platform::Rect asked_;                    // the area of the display's grab, before the screen clips it
  x11::Area source_;                        // what the frame shows of the root, once clipped
  std::optional<x11::CursorImage> cursor_;  // the pointer as the frame shows it
};

}  // namespace deskcap::linux_backend

namespace deskcap::platform {

// LinuxObject first: release() finds the count at the object's address.
struct ContentFilter : linux_backend::LinuxObject, linux_backend::FilterContent {};
struct StreamConfiguration : linux_backend::LinuxObject, linux_backend::CaptureSettings {};

}  // namespace deskcap::platform
