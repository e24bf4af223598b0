// captureDisplay: one display through ScreenCaptureKit, with chosen windows
// left out and, when asked, only a part of it.
#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

#include "screen/bridge.h"
#include "screen/capture_tail.h"
#include "screen/screen.h"
#include "screen/screen_sizes.h"

namespace deskcap {
namespace {

using platform::Ref;

Error failure(std::string message) { return Error(Status::GenericFailure, std::move(message)); }

bool finite(const CropRect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height);
}

// The crop in points relative to the display's top-left corner (the
// framework's sourceRect space), cut down to the display.
Result<platform::Rect> crop_within_display(const CropRect& crop, const platform::Rect& bounds,
                                           uint32_t display_id) {
  if (crop.width <= 0 || crop.height <= 0)
    return failure("Crop bounds must have a positive width and height");
  double left = std::max(crop.x, 0.0);
  double top = std::max(crop.y, 0.0);
  double right = std::min(crop.x + crop.width, bounds.width);
  double bottom = std::min(crop.y + crop.height, bounds.height);
  if (!(right > left) || !(bottom > top))
    return failure("Crop bounds do not intersect display " + std::to_string(display_id));
  return platform::Rect{left, top, right - left, bottom - top};
}

}  // namespace

Result<CapturedPng> capture_display(const CaptureRequest& request) {
  if (request.crop && !finite(*request.crop)) return failure("Crop bounds must be finite numbers");

  auto fetched = capture_bridge::fetch_shareable_content(false, false);
  if (!fetched.ok())
    return screen_capture::framework_failure(fetched.error(), "Failed to get shareable content: ");
  Ref<platform::ShareableContent> content = fetched.take();

  Ref<platform::ScDisplay> display;
  {
    auto displays = capture_bridge::content_displays(content.get());
    for (auto& d : displays) {
      if (platform::sc_display_id(d.get()) == request.display_id) {
        display = std::move(d);
        break;
      }
    }
  }
  if (!display)
    return failure("Display " + std::to_string(request.display_id) +
                   " not found in ScreenCaptureKit");

  auto windows = capture_bridge::content_windows(content.get());
  // Content order, each window at most once, whatever order or repeats the caller used.
  std::vector<platform::ScWindow*> excluded;
  if (request.exclude_window_ids && !request.exclude_window_ids->empty()) {
    std::unordered_set<uint32_t> ids(request.exclude_window_ids->begin(),
                                     request.exclude_window_ids->end());
    for (auto& w : windows)
      if (ids.count(platform::sc_window_id(w.get())) != 0) excluded.push_back(w.get());
  }

  auto built = capture_bridge::build_filter(
      capture_bridge::DisplayExcludingWindows{display.get(), std::move(excluded)});
  if (!built.ok()) return std::move(built.error());
  Ref<platform::ContentFilter> filter = built.take();

  platform::Rect bounds = platform::display_bounds(request.display_id);
  double scale = screen_sizes::display_scale(request.display_id);
  std::optional<platform::Rect> source;
  if (request.crop) {
    auto cut = crop_within_display(*request.crop, bounds, request.display_id);
    if (!cut.ok()) return std::move(cut.error());
    source = cut.value();
  }
  const platform::Rect& area = source ? *source : bounds;
  uint32_t width = screen_sizes::truncate_u32(area.width * scale);
  uint32_t height = screen_sizes::truncate_u32(area.height * scale);
  if (source && (width == 0 || height == 0))
    return failure("Crop bounds are smaller than one pixel on display " +
                   std::to_string(request.display_id));

  auto configured = screen_capture::make_configuration(width, height);
  if (!configured.ok()) return std::move(configured.error());
  Ref<platform::StreamConfiguration> configuration = configured.take();
  if (source) platform::configuration_set_source_rect(configuration.get(), *source);

  return screen_capture::screenshot_to_png(filter.get(), configuration.get(), width, height,
                                           "Screenshot capture failed: ");
}

}  // namespace deskcap
