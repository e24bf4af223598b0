// captureDisplay and captureWindow through ScreenCaptureKit: the shareable
// content, a filter, a configuration, one screenshot, and its pixels drawn a
// band at a time into the PNG encoder. The framework answers each request
// through a completion on its own threads; the capture's worker waits for it.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>

#include "core/numbers.h"
#include "core/utf8.h"
#include "platform/platform.h"
#include "screen/png_encoder.h"
#include "screen/capture_source.h"
#include "screen/screen.h"
#include "screen/screenshot_gate.h"

namespace deskcap {

using platform::Ref;

namespace {
Error failure(std::string message) { return Error(Status::GenericFailure, std::move(message)); }
}  // namespace

std::string framework_text(const char* text) {
  if (text == nullptr || !is_valid_utf8(std::string_view(text, std::strlen(text)))) return "Unknown error";
  return text;
}

Error framework_failure(std::string message) {
  Error error = failure(std::move(message));
  if (platform::screen_capture_preflight() == false) error.permission = Permission::ScreenRecording;
  return error;
}

namespace {

// What a completion delivered: a retained object or the framework's text.
using Answer = std::variant<Ref<platform::Object>, std::string>;

// Where a completion meets the worker that waits for it. Shared, because the
// handler may run before the request returns, or still be inside complete()
// when the woken worker has taken the answer and gone.
class Completion {
 public:
  void complete(Answer answer) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer_ = std::move(answer);
    }
    wake_.notify_one();
  }

  // Without a time limit: the framework answers every request.
  Answer wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return answer_.has_value(); });
    return std::move(*answer_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Answer> answer_;
};

// The completion handed to the framework; `context` is the handler's share.
void deliver(void* context, platform::Object* object, const char* error_text) {
  std::unique_ptr<std::shared_ptr<Completion>> share(static_cast<std::shared_ptr<Completion>*>(context));
  Answer answer = framework_text(error_text);
  if (object != nullptr) answer = Ref<platform::Object>(object);
  (*share)->complete(std::move(answer));
}

using Request = std::function<void(void* context, platform::CompletionCallback completion)>;

// One request and the wait for its answer: the object, or `prefix` + the
// framework's text. `meanwhile`, if any, runs once the request is made, so that
// the framework's latency hides it.
template <class T>
Result<Ref<T>> ask(const Request& request, const std::string& prefix,
                   const std::function<void()>& meanwhile = {}) {
  auto completion = std::make_shared<Completion>();
  request(new std::shared_ptr<Completion>(completion), &deliver);
  if (meanwhile) meanwhile();
  Answer answer = completion->wait();
  if (auto* object = std::get_if<Ref<platform::Object>>(&answer))
    return Ref<T>(reinterpret_cast<T*>(object->take()));
  return framework_failure(prefix + std::get<std::string>(answer));
}

Result<Ref<platform::ShareableContent>> shareable_content() {
  return ask<platform::ShareableContent>(
      [](void* context, platform::CompletionCallback completion) {
        platform::get_shareable_content(false, false, context, completion);
      },
      "Failed to get shareable content: No shareable content available: ");
}

// An initialiser may give nothing.
Result<Ref<platform::ContentFilter>> made_filter(platform::ContentFilter* filter) {
  if (filter == nullptr) return failure("Null pointer: SCContentFilter initialiser returned nil");
  return Ref<platform::ContentFilter>(filter);
}

// width x height pixels, the cursor drawn when asked.
Result<Ref<platform::StreamConfiguration>> configuration_of(PixelSize size, bool show_cursor) {
  Ref<platform::StreamConfiguration> configuration(platform::configuration_create());
  if (!configuration) return failure("Failed to create stream configuration");
  platform::configuration_set_width(configuration.get(), size.width);
  platform::configuration_set_height(configuration.get(), size.height);
  platform::configuration_set_shows_cursor(configuration.get(), show_cursor);
  return configuration;
}

// The size of the last PNGs of a few requested sizes: a display is captured
// again and again, and its PNGs differ little in size.
class RecentSizes {
 public:
  size_t expected(uint32_t width, uint32_t height) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* known = find_locked(width, height);
    return known != nullptr ? known->bytes : 0;
  }
  void remember(uint32_t width, uint32_t height, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* known = find_locked(width, height)) {
      known->bytes = bytes;
      return;
    }
    // A new size takes the place of the oldest.
    entries_[next_] = Entry{width, height, bytes};
    next_ = (next_ + 1) % entries_.size();
  }

 private:
  struct Entry {
    uint32_t width = 0, height = 0;
    size_t bytes = 0;
  };
  Entry* find_locked(uint32_t width, uint32_t height) {
    for (Entry& e : entries_)
      if (e.width == width && e.height == height) return &e;
    return nullptr;
  }
  std::mutex mutex_;
  std::array<Entry, 8> entries_{};
  size_t next_ = 0;
};

RecentSizes& recent_sizes() {
  static RecentSizes& sizes = *new RecentSizes;
  return sizes;
}

// Storage for the PNG, its pages written once while the framework takes the
// picture: a page's first write faults (about 10 us each in a VM), and the
// worker would only be waiting. Room for a PNG a little larger than the last
// one of this size; a larger one still grows it.
void prepare_storage(std::vector<uint8_t>& png, size_t expected) {
  if (expected == 0) return;
  try {
    png.resize(expected + expected / 8 + 16 * 1024);
    png.clear();
  } catch (const std::bad_alloc&) {
    png = {};
  }
}

// Not when the pixels' byte count would overflow, nor (the framework is asked)
// when the image is empty.
bool pixels_drawable(platform::Image* image) {
  const size_t width = platform::image_width(image), height = platform::image_height(image);
  if (width > UINT32_MAX || height > UINT32_MAX) return false;
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  if (width > kMax / 4 || (width != 0 && height > kMax / (width * 4))) return false;
  if (width == 0 || height == 0) return platform::draw_image_rows_rgba(image, width, height, 0, 0, nullptr);
  return true;
}

Error pixels_failed() {
  return failure("Failed to extract image data: Internal error: Failed to extract pixel data from CGImage");
}

// The PNG of `image`, its strips drawing the framework's image a band at a
// time: no full-size copy of it is ever made.
Result<Unit> encode_png_of(platform::Image* image, uint32_t width, uint32_t height, std::vector<uint8_t>* png) {
  std::atomic<bool> undrawable{false};
  PixelRows rows = [&](uint32_t first, uint32_t count, uint8_t* band) {
    if (platform::draw_image_rows_rgba(image, width, height, first, count, band)) return true;
    undrawable = true;
    return false;
  };
  auto encoded = encode_png_rows(width, height, rows, png);
  if (!encoded.ok()) {
    if (undrawable) return pixels_failed();
    return encoded.take_error().prefixed("PNG encode failed: ");
  }
  return Unit{};
}

Result<Unit> draw_raw_of(platform::Image* image, uint32_t width, uint32_t height, std::vector<uint8_t>* raw) {
  try {
    raw->resize(static_cast<size_t>(width) * height * 4);
  } catch (const std::bad_alloc&) {
    return failure("Failed to extract image data: out of memory for " + std::to_string(width) + "x" +
                   std::to_string(height) + " pixels");
  }
  if (!platform::draw_image_rows_rgba(image, width, height, 0, height, raw->data())) return pixels_failed();
  return Unit{};
}

// The screenshot `configuration` asks for (failures prefixed with
// `screenshot_prefix`), in the output's format.
Result<Screenshot> take_screenshot(ScreenshotTurn turn, const CaptureSource& source, const OutputOptions& output,
                                   const std::string& screenshot_prefix) {
  Screenshot out;
  const bool png = output.format == ImageFormat::Png;
  const size_t expected = png ? recent_sizes().expected(source.size.width, source.size.height) : 0;
  turn.wait();
  auto shot = ask<platform::Image>(
      [&](void* context, platform::CompletionCallback completion) {
        platform::capture_image(source.filter.get(), source.configuration.get(), context, completion);
      },
      screenshot_prefix + "Screenshot capture failed: ", [&] { prepare_storage(out.bytes, expected); });
  // The drawing and encoding below overlap the next capture's screenshot.
  turn.release();
  if (!shot.ok()) return shot.take_error();
  Ref<platform::Image> image = shot.take();
  auto made = encode_image(image.get(), output, source.points_wide, &out);
  if (!made.ok()) return made.take_error();
  if (png) recent_sizes().remember(source.size.width, source.size.height, out.bytes.size());
  return out;
}

bool finite(const CropRect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// The crop in points relative to the display's top-left corner (the
// framework's sourceRect space), cut down to the display.
Result<platform::Rect> crop_within_display(const CropRect& crop, const platform::Rect& bounds, uint32_t display_id) {
  if (crop.width <= 0 || crop.height <= 0) return failure("Crop bounds must have a positive width and height");
  double left = std::max(crop.x, 0.0);
  double top = std::max(crop.y, 0.0);
  double right = std::min(crop.x + crop.width, bounds.width);
  double bottom = std::min(crop.y + crop.height, bounds.height);
  if (!(right > left) || !(bottom > top))
    return failure("Crop bounds do not intersect display " + std::to_string(display_id));
  return platform::Rect{left, top, right - left, bottom - top};
}

}  // namespace

PixelSize fit_within(PixelSize native, std::optional<uint32_t> max_width, std::optional<uint32_t> max_height) {
  const uint64_t w = native.width, h = native.height;
  const uint64_t mw = max_width.value_or(native.width), mh = max_height.value_or(native.height);
  if (w == 0 || h == 0 || (mw >= w && mh >= h)) return native;
  // The side with the smaller limit-to-side ratio limits (mw / w <= mh / h).
  auto scaled = [](uint64_t side, uint64_t limit, uint64_t limiting) {
    return static_cast<uint32_t>(std::max<uint64_t>(1, (2 * side * limit + limiting) / (2 * limiting)));
  };
  if (mw * h <= mh * w) return {static_cast<uint32_t>(mw), scaled(h, mw, w)};
  return {scaled(w, mh, h), static_cast<uint32_t>(mh)};
}

Result<Unit> encode_image(platform::Image* image, const OutputOptions& output, double points_wide, Screenshot* out) {
  // The framework may not honour the requested size: the image's own is the result's.
  if (!pixels_drawable(image)) return pixels_failed();
  out->format = output.format;
  out->width = static_cast<uint32_t>(platform::image_width(image));
  out->height = static_cast<uint32_t>(platform::image_height(image));
  out->scale = points_wide > 0 ? out->width / points_wide : 1.0;
  switch (output.format) {
    case ImageFormat::Png:
      return encode_png_of(image, out->width, out->height, &out->bytes);
    case ImageFormat::Raw:
      return draw_raw_of(image, out->width, out->height, &out->bytes);
    case ImageFormat::Jpeg:
      if (auto why = platform::image_encode_jpeg(image, output.quality, &out->bytes)) return failure(*why);
      return Unit{};
  }
  return Unit{};
}

Result<CaptureSource> display_source(const CaptureRequest& request) {
  if (platform::display_capture_limit() == platform::DisplayCaptureLimit::WaylandSession) {
    Error error = failure(
        "Display capture is not available in a Wayland session: the X server there (XWayland) holds only X "
        "clients' windows, not the screen the user sees");
    error.unsupported = Unsupported::WaylandSession;
    return error;
  }
  if (request.crop && !finite(*request.crop)) return failure("Crop bounds must be finite numbers");

  auto fetched = shareable_content();
  if (!fetched.ok()) return fetched.take_error();
  Ref<platform::ShareableContent> content = fetched.take();

  Ref<platform::ScDisplay> display;
  for (auto& d : platform::content_displays_copy(content.get())) {
    if (platform::sc_display_id(d.get()) == request.display_id) {
      display = std::move(d);
      break;
    }
  }
  if (!display) return failure("Display " + std::to_string(request.display_id) + " not found in ScreenCaptureKit");

  auto windows = platform::content_windows_copy(content.get());
  // Content order, each window at most once, whatever order or repeats the caller used.
  std::vector<platform::ScWindow*> excluded;
  if (request.exclude_window_ids && !request.exclude_window_ids->empty()) {
    std::unordered_set<uint32_t> ids(request.exclude_window_ids->begin(), request.exclude_window_ids->end());
    for (auto& w : windows)
      if (ids.count(platform::sc_window_id(w.get())) != 0) excluded.push_back(w.get());
  }

  CaptureSource source;
  auto built = made_filter(platform::filter_with_display_excluding_windows(display.get(), excluded));
  if (!built.ok()) return built.take_error();
  source.filter = built.take();

  platform::Rect bounds = platform::display_bounds(request.display_id);
  double scale = display_scale(request.display_id);
  std::optional<platform::Rect> cut;
  if (request.crop) {
    auto within = crop_within_display(*request.crop, bounds, request.display_id);
    if (!within.ok()) return within.take_error();
    cut = within.value();
  }
  const platform::Rect& area = cut ? *cut : bounds;
  PixelSize native{truncate_u32(area.width * scale), truncate_u32(area.height * scale)};
  if (cut && (native.width == 0 || native.height == 0))
    return failure("Crop bounds are smaller than one pixel on display " + std::to_string(request.display_id));
  source.size = fit_within(native, request.output.max_width, request.output.max_height);
  source.points_wide = area.width;

  auto configured = configuration_of(source.size, request.output.show_cursor);
  if (!configured.ok()) return configured.take_error();
  source.configuration = configured.take();
  if (cut) platform::configuration_set_source_rect(source.configuration.get(), *cut);
  return source;
}

Result<CaptureSource> window_source(uint32_t window_id, const OutputOptions& output) {
  auto fetched = shareable_content();
  if (!fetched.ok()) return fetched.take_error();
  Ref<platform::ShareableContent> content = fetched.take();

  Ref<platform::ScWindow> window;
  for (auto& w : platform::content_windows_copy(content.get())) {
    if (platform::sc_window_id(w.get()) == window_id) {
      window = std::move(w);
      break;
    }
  }
  if (!window) return failure("Window " + std::to_string(window_id) + " not found in ScreenCaptureKit");

  CaptureSource source;
  auto built = made_filter(platform::filter_with_desktop_independent_window(window.get()));
  if (!built.ok()) return built.take_error();
  source.filter = built.take();

  double scale = platform::filter_point_pixel_scale(source.filter.get());
  platform::Rect frame = platform::sc_window_frame(window.get());
  // Rounded here, where the display capture truncates: 640.25 points at 2x is 1281.
  PixelSize native{round_u32(frame.width * scale), round_u32(frame.height * scale)};
  source.size = fit_within(native, output.max_width, output.max_height);
  source.points_wide = frame.width;

  auto configured = configuration_of(source.size, output.show_cursor);
  if (!configured.ok()) return configured.take_error();
  source.configuration = configured.take();
  return source;
}

Result<Screenshot> capture_display(const CaptureRequest& request) {
  ScreenshotTurn turn = draw_screenshot_turn();
  auto source = display_source(request);
  if (!source.ok()) return source.take_error();
  return take_screenshot(std::move(turn), source.value(), request.output, "Screenshot capture failed: ");
}

Result<Screenshot> capture_window(uint32_t window_id, const OutputOptions& output) {
  ScreenshotTurn turn = draw_screenshot_turn();
  auto source = window_source(window_id, output);
  if (!source.ok()) return source.take_error();
  return take_screenshot(std::move(turn), source.value(), output, "Window screenshot capture failed: ");
}

}  // namespace deskcap
