#include "screen/capture_tail.h"

#include "screen/bridge.h"
#include "screen/png_encoder.h"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <string>

namespace deskcap::screen_capture {
namespace {

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

}  // namespace

Error framework_failure(const capture_bridge::CaptureError& error, const std::string& prefix) {
  Error failure = error.to_error(prefix);
  if (platform::screen_capture_preflight() == false) failure.permission = Permission::ScreenRecording;
  return failure;
}

Result<platform::Ref<platform::StreamConfiguration>> make_configuration(uint32_t width,
                                                                        uint32_t height) {
  platform::Ref<platform::StreamConfiguration> configuration(platform::configuration_create());
  if (!configuration)
    return Error(Status::GenericFailure, "Failed to create stream configuration");
  platform::configuration_set_width(configuration.get(), width);
  platform::configuration_set_height(configuration.get(), height);
  platform::configuration_set_shows_cursor(configuration.get(), false);
  return configuration;
}

Result<CapturedPng> screenshot_to_png(platform::ContentFilter* filter,
                                      platform::StreamConfiguration* configuration, uint32_t width,
                                      uint32_t height, const char* screenshot_prefix) {
  CapturedPng out;
  const size_t expected = recent_sizes().expected(width, height);
  auto shot = capture_bridge::take_screenshot(filter, configuration,
                                              [&] { prepare_storage(out.png, expected); });
  if (!shot.ok()) return framework_failure(shot.error(), screenshot_prefix);
  platform::Ref<platform::Image> image = shot.take();

  // The framework may not honour the requested size: the image's own is the result's.
  if (!capture_bridge::pixels_drawable(image.get()))
    return capture_bridge::pixels_failed().to_error("Failed to extract image data: ");
  out.width = static_cast<uint32_t>(platform::image_width(image.get()));
  out.height = static_cast<uint32_t>(platform::image_height(image.get()));

  // The encoder's strips draw the image a band at a time, straight from the
  // framework's image: no full-size copy of it is ever made.
  std::atomic<bool> undrawable{false};
  PixelRows rows = [&](uint32_t first, uint32_t count, uint8_t* band) {
    if (platform::draw_image_rows_rgba(image.get(), out.width, out.height, first, count, band)) return true;
    undrawable = true;
    return false;
  };
  auto encoded = encode_png_rows(out.width, out.height, rows, &out.png);
  if (!encoded.ok()) {
    if (undrawable) return capture_bridge::pixels_failed().to_error("Failed to extract image data: ");
    return encoded.take_error().prefixed("PNG encode failed: ");
  }
  recent_sizes().remember(width, height, out.png.size());
  return out;
}

}  // namespace deskcap::screen_capture
