// Screen facilities on Linux, from the X server (x11_server_linux.h): each
// RandR output driven by a CRTC is a display whose id is the output's XID; its
// mode has as many pixels as points (X11 has no point space of its own, and
// Xft.dpi only scales fonts). The shareable content is a snapshot of the
// outputs and the viewable windows; screenshots are taken when asked, on the
// calling thread, and complete before the request returns. Without a server
// there are no displays and content requests fail with the framework text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "platform/bridge_text.h"
#include "platform/linux/base_linux.h"
#include "platform/linux/screen_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"
#include "platform/shared/jpeg_shared.h"

namespace deskcap::platform {

namespace x11 = linux_backend::x11;

struct ShareableContent : linux_backend::LinuxObject {
  std::vector<x11::Output> displays;
  std::vector<x11::Window> windows;
};
struct ScDisplay : linux_backend::LinuxObject {
  x11::Output output;
};
struct ScWindow : linux_backend::LinuxObject {
  x11::Window window;
};
struct DisplayMode : linux_backend::LinuxObject {
  size_t width = 0;
};
struct Image : linux_backend::LinuxObject {
  std::unique_ptr<x11::Pixels> pixels;
};

namespace {

// Rows that stay the caller's, unchanged for as long as the image lives.
class CallerPixels : public x11::Pixels {
 public:
  explicit CallerPixels(const uint8_t* rows) : rows_(rows) {}
  const uint8_t* data() const override { return rows_; }

 private:
  const uint8_t* rows_;
};

std::optional<x11::Output> find_output(uint32_t display_id) {
  for (auto& output : x11::outputs())
    if (output.id == display_id) return output;
  return std::nullopt;
}

// The completion's object is handed as the framework's untyped reference.
template <class T>
Object* as_object(T* p) {
  return reinterpret_cast<Object*>(static_cast<linux_backend::LinuxObject*>(p));
}

void fail(CompletionCallback completion, void* context, const std::string& text) {
  completion(context, nullptr, text.c_str());
}

}  // namespace

int32_t get_active_display_list(uint32_t max, uint32_t* ids, uint32_t* count) {
  auto outputs = x11::outputs();
  uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(outputs.size()), ids != nullptr ? max : 0);
  for (uint32_t i = 0; i < n; ++i) ids[i] = outputs[i].id;
  if (count != nullptr) *count = ids != nullptr ? n : static_cast<uint32_t>(outputs.size());
  return 0;
}

uint32_t main_display_id() {
  for (auto& output : x11::outputs())
    if (output.primary) return output.id;
  return 0;
}

Rect display_bounds(uint32_t display_id) {
  auto output = find_output(display_id);
  return output ? output->bounds : Rect{};
}

DisplayMode* display_copy_mode(uint32_t display_id) {
  auto output = find_output(display_id);
  if (!output) return nullptr;
  auto* mode = new DisplayMode;
  mode->width = static_cast<size_t>(output->bounds.width);
  return mode;
}
size_t display_mode_pixel_width(DisplayMode* mode) { return mode->width; }
size_t display_mode_width(DisplayMode* mode) { return mode->width; }

std::optional<std::string> display_name(uint32_t display_id) {
  for (auto& output : x11::outputs())
    if (output.id == display_id && !output.name.empty()) return output.name;
  return std::nullopt;
}

// X11 asks no permission: a reachable server may be captured; without one,
// nobody can tell.
std::optional<bool> screen_capture_preflight() {
  if (x11::reachable()) return true;
  return std::nullopt;
}
bool screen_capture_request() { return screen_capture_preflight().value_or(false); }

// Read each call, so that a change to process.env counts.
DisplayCaptureLimit display_capture_limit() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((type != nullptr && std::strcmp(type, "wayland") == 0) || (wayland != nullptr && *wayland != '\0'))
    return DisplayCaptureLimit::WaylandSession;
  return DisplayCaptureLimit::None;
}

void get_shareable_content(bool exclude_desktop_windows, bool on_screen_windows_only,
                           void* context, CompletionCallback completion) {
  auto windows = x11::windows();
  if (!windows)
    return fail(completion, context,
                bridge_text::content_unavailable(x11::unavailable_reason()));
  auto* content = new ShareableContent;
  content->displays = x11::outputs();
  content->windows = std::move(*windows);
  completion(context, as_object(content), nullptr);
}

void capture_image(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                   CompletionCallback completion) {
  x11::Grab grab = linux_backend::grab_content(*filter, *configuration);
  if (!grab.pixels) return fail(completion, context, bridge_text::screenshot_error(grab.error));
  auto* image = new Image;
  image->pixels = std::move(grab.pixels);
  completion(context, as_object(image), nullptr);
}

std::vector<Ref<ScDisplay>> content_displays_copy(ShareableContent* content) {
  std::vector<Ref<ScDisplay>> out;
  out.reserve(content->displays.size());
  for (const auto& output : content->displays) {
    out.emplace_back(new ScDisplay);
    out.back().get()->output = output;
  }
  return out;
}
std::vector<Ref<ScWindow>> content_windows_copy(ShareableContent* content) {
  std::vector<Ref<ScWindow>> out;
  out.reserve(content->windows.size());
  for (const auto& window : content->windows) {
    out.emplace_back(new ScWindow);
    out.back().get()->window = window;
  }
  return out;
}
// X11 has no applications apart from their windows.

uint32_t sc_display_id(ScDisplay* display) { return display->output.id; }
uint32_t sc_window_id(ScWindow* window) { return window->window.id; }
Rect sc_window_frame(ScWindow* window) { return window->window.frame; }

ContentFilter* filter_with_desktop_independent_window(ScWindow* window) {
  auto* filter = new ContentFilter;
  filter->window = window->window;
  return filter;
}
// A client window inside a window manager's frame is left out with its frame.
ContentFilter* filter_with_display_excluding_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows) {
  auto* filter = new ContentFilter;
  filter->display = display->output;
  for (ScWindow* window : windows) filter->left_out.insert(window->window.top_level);
  return filter;
}
// The captures never build these; X11 offers no such selection.
float filter_point_pixel_scale(ContentFilter* filter) { return 1.0f; }

StreamConfiguration* configuration_create() { return new StreamConfiguration(); }
void configuration_set_width(StreamConfiguration* c, size_t width) { c->width = width; }
void configuration_set_height(StreamConfiguration* c, size_t height) { c->height = height; }
void configuration_set_shows_cursor(StreamConfiguration* c, bool shows_cursor) {
  c->shows_cursor = shows_cursor;
}
void configuration_set_source_rect(StreamConfiguration* c, Rect rect) { c->source_rect = rect; }

Image* image_create_bgra(const uint8_t* pixels, size_t width, size_t height, size_t bytes_per_row) {
  if (pixels == nullptr || width == 0 || height == 0 || width > UINT32_MAX / 4 || height > UINT32_MAX ||
      bytes_per_row < width * 4)
    return nullptr;
  auto rows = std::make_unique<CallerPixels>(pixels);
  rows->width = static_cast<uint32_t>(width);
  rows->height = static_cast<uint32_t>(height);
  rows->stride = bytes_per_row;
  rows->alpha = true;
  auto* image = new Image;
  image->pixels = std::move(rows);
  return image;
}

size_t image_width(Image* image) { return image->pixels->width; }
size_t image_height(Image* image) { return image->pixels->height; }

// B G R A (or B G R X) rows from the server into packed R G B A; a window
// with an alpha channel keeps its (premultiplied) alpha, as CoreGraphics would.
bool draw_image_rows_rgba(Image* image, size_t width, size_t height, size_t first, size_t count,
                          uint8_t* out) {
  const x11::Pixels& p = *image->pixels;
  if (width != p.width || height != p.height || width == 0 || count == 0 || out == nullptr ||
      first > height || count > height - first)
    return false;
  const uint8_t* rows = p.data();
  const uint32_t opaque = p.alpha ? 0 : 0xFF000000u;
  for (size_t y = 0; y < count; ++y) {
    const uint32_t* from = reinterpret_cast<const uint32_t*>(rows + (first + y) * p.stride);
    uint32_t* to = reinterpret_cast<uint32_t*>(out + y * width * 4);
    for (size_t i = 0; i < width; ++i) {
      uint32_t v = from[i];  // little-endian: 0xAARRGGBB
      to[i] = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16) | opaque;
    }
  }
  return true;
}

// The server's rows as they are: the fourth byte is ignored, so depth 24 and
// premultiplied depth 32 both come out over black.
std::optional<std::string> image_encode_jpeg(Image* image, int quality, std::vector<uint8_t>* out) {
  const x11::Pixels& p = *image->pixels;
  return shared::encode_jpeg_bgrx(p.data(), p.width, p.height, p.stride, quality, out);
}

}  // namespace deskcap::platform
