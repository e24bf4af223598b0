// Blocking calls over ScreenCaptureKit for the capture workers: the framework
// answers through completion callbacks on its own threads; these wait for the
// answer and hand back a retained object or a CaptureError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

#include "screen/capture_error.h"
#include "core/error.h"
#include "platform/platform.h"

namespace deskcap::capture_bridge {

using platform::Ref;

// Both wait without a time limit. Fetching fails as NoShareableContent,
// screenshots as ScreenshotFailed, with the framework-side text ("Content
// unavailable: ...", "Screenshot error: ...", or "Unknown error").
CaptureResult<Ref<platform::ShareableContent>> fetch_shareable_content(
    bool exclude_desktop_windows, bool on_screen_windows_only);
// `meanwhile`, if any, runs on this thread once the request is made and
// before the wait, so that the framework's latency hides it; it must not throw.
CaptureResult<Ref<platform::Image>> take_screenshot(platform::ContentFilter* filter,
                                                    platform::StreamConfiguration* configuration,
                                                    const std::function<void()>& meanwhile = {});

// The completion callback the two calls above hand to the framework, with a
// CompletionSlot as context. Exposed for tests of the delivery rules.
void deliver_completion(void* slot, platform::Object* object, const char* error_text);

// The content's lists, in the content's order, each item retained.
std::vector<Ref<platform::ScDisplay>> content_displays(platform::ShareableContent* content);
std::vector<Ref<platform::ScWindow>> content_windows(platform::ShareableContent* content);

// What a content filter is made of (borrowed objects): the two of the
// framework's initialisers the captures use. A description left empty cannot be built.
struct DesktopIndependentWindow {
  platform::ScWindow* window = nullptr;
};
struct DisplayExcludingWindows {
  platform::ScDisplay* display = nullptr;
  std::vector<platform::ScWindow*> windows;
};
using FilterDescription = std::variant<std::monostate, DesktopIndependentWindow, DisplayExcludingWindows>;

inline constexpr const char* kNoFilterTypeSet =
    "SCContentFilterBuilder: No filter type set. Call .display() or .window() before .build()";

// A retained SCContentFilter. An empty description fails with kNoFilterTypeSet
// as the whole message; an initialiser that gives nothing fails as NullPointer.
Result<Ref<platform::ContentFilter>> build_filter(const FilterDescription& description);

// Whether the image's pixels can be drawn at all: not when their byte count
// would overflow, nor (the framework is asked) when the image is empty.
// Otherwise, and when a band then fails, the capture fails with
// pixels_failed(): Internal "Failed to extract pixel data from CGImage".
bool pixels_drawable(platform::Image* image);
CaptureError pixels_failed();

}  // namespace deskcap::capture_bridge
