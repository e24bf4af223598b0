// captureWindow: one window alone, whatever covers it and wherever it is.
#include <string>

#include "screen/bridge.h"
#include "screen/capture_tail.h"
#include "screen/screen.h"
#include "screen/screen_sizes.h"

namespace deskcap {

Result<CapturedPng> capture_window(uint32_t window_id) {
  using platform::Ref;

  auto fetched = capture_bridge::fetch_shareable_content(false, false);
  if (!fetched.ok())
    return screen_capture::framework_failure(fetched.error(), "Failed to get shareable content: ");
  Ref<platform::ShareableContent> content = fetched.take();

  Ref<platform::ScWindow> window;
  {
    auto windows = capture_bridge::content_windows(content.get());
    for (auto& w : windows) {
      if (platform::sc_window_id(w.get()) == window_id) {
        window = std::move(w);
        break;
      }
    }
  }
  if (!window)
    return Error(Status::GenericFailure,
                 "Window " + std::to_string(window_id) + " not found in ScreenCaptureKit");

  auto built = capture_bridge::build_filter(capture_bridge::DesktopIndependentWindow{window.get()});
  if (!built.ok()) return std::move(built.error());
  Ref<platform::ContentFilter> filter = built.take();

  double scale = platform::filter_point_pixel_scale(filter.get());
  platform::Rect frame = platform::sc_window_frame(window.get());
  // Rounded here, where the display capture truncates: 640.25 points at 2x is 1281.
  uint32_t width = screen_sizes::round_u32(frame.width * scale);
  uint32_t height = screen_sizes::round_u32(frame.height * scale);

  auto configured = screen_capture::make_configuration(width, height);
  if (!configured.ok()) return std::move(configured.error());
  Ref<platform::StreamConfiguration> configuration = configured.take();

  return screen_capture::screenshot_to_png(filter.get(), configuration.get(), width, height,
                                           "Window screenshot capture failed: ");
}

}  // namespace deskcap
