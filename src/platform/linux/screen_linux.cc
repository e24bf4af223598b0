// Screen facilities on Linux: no CoreGraphics displays and no ScreenCaptureKit.
// Requests complete at once with the framework-side failure texts, so the
// captures reject with their usual message chains.
#include <optional>

#include "screen/capture_error.h"
#include "platform/linux/base_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {

// Only the configuration is ever made here; the other types exist so that
// release() of them is well defined should one be handed around.
struct ShareableContent : linux_backend::LinuxObject {};
struct ScDisplay : linux_backend::LinuxObject {};
struct ScWindow : linux_backend::LinuxObject {};
struct ScApplication : linux_backend::LinuxObject {};
struct ContentFilter : linux_backend::LinuxObject {};
struct DisplayMode : linux_backend::LinuxObject {};
struct StreamConfiguration : linux_backend::LinuxObject {
  size_t width = 0, height = 0;
  bool shows_cursor = true;
  std::optional<Rect> source_rect;
};

namespace {
constexpr const char* kUnavailable = "ScreenCaptureKit is not available on this system";
}

int32_t get_active_display_list(uint32_t max, uint32_t* ids, uint32_t* count) {
  if (count != nullptr) *count = 0;
  return 0;
}
uint32_t main_display_id() { return 0; }
Rect display_bounds(uint32_t display_id) { return Rect{}; }
DisplayMode* display_copy_mode(uint32_t display_id) { return nullptr; }
size_t display_mode_pixel_width(DisplayMode* mode) { return 0; }
size_t display_mode_width(DisplayMode* mode) { return 0; }

// This backend holds no display-server connection, so it cannot tell.
std::optional<bool> screen_capture_preflight() { return std::nullopt; }
bool screen_capture_request() { return screen_capture_preflight().value_or(false); }

void get_shareable_content(bool exclude_desktop_windows, bool on_screen_windows_only,
                           void* context, CompletionCallback completion) {
  std::string text = capture_bridge::bridge_text::content_unavailable(kUnavailable);
  completion(context, nullptr, text.c_str());
}

void capture_image(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                   CompletionCallback completion) {
  std::string text = capture_bridge::bridge_text::screenshot_error(kUnavailable);
  completion(context, nullptr, text.c_str());
}

size_t content_display_count(ShareableContent* content) { return 0; }
ScDisplay* content_display_at(ShareableContent* content, size_t index) { return nullptr; }
size_t content_window_count(ShareableContent* content) { return 0; }
ScWindow* content_window_at(ShareableContent* content, size_t index) { return nullptr; }
size_t content_application_count(ShareableContent* content) { return 0; }
ScApplication* content_application_at(ShareableContent* content, size_t index) { return nullptr; }

uint32_t sc_display_id(ScDisplay* display) { return 0; }
uint32_t sc_window_id(ScWindow* window) { return 0; }
Rect sc_window_frame(ScWindow* window) { return Rect{}; }

ContentFilter* filter_with_desktop_independent_window(ScWindow* window) { return nullptr; }
ContentFilter* filter_with_display_excluding_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows) {
  return nullptr;
}
ContentFilter* filter_with_display_including_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows) {
  return nullptr;
}
ContentFilter* filter_with_display_including_applications(
    ScDisplay* display, const std::vector<ScApplication*>& applications,
    const std::vector<ScWindow*>& excepting_windows) {
  return nullptr;
}
ContentFilter* filter_with_display_excluding_applications(
    ScDisplay* display, const std::vector<ScApplication*>& applications,
    const std::vector<ScWindow*>& excepting_windows) {
  return nullptr;
}
float filter_point_pixel_scale(ContentFilter* filter) { return 1.0f; }

StreamConfiguration* configuration_create() { return new StreamConfiguration(); }
void configuration_set_width(StreamConfiguration* c, size_t width) { c->width = width; }
void configuration_set_height(StreamConfiguration* c, size_t height) { c->height = height; }
void configuration_set_shows_cursor(StreamConfiguration* c, bool shows_cursor) {
  c->shows_cursor = shows_cursor;
}
void configuration_set_source_rect(StreamConfiguration* c, Rect rect) { c->source_rect = rect; }

// No image is ever made on this backend (the phone path's frames are not
// either), so these answer as for a null CGImageRef.
size_t image_width(Image* image) { return 0; }
size_t image_height(Image* image) { return 0; }
bool draw_image_rgba(Image* image, size_t width, size_t height, uint8_t* out) { return false; }

}  // namespace deskcap::platform
