#include "screen/capture_tail.h"

#include "screen/bridge.h"
#include "screen/png_encoder.h"

#include <atomic>
#include <string>

namespace deskcap::screen_capture {

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
                                      platform::StreamConfiguration* configuration,
                                      const char* screenshot_prefix) {
  auto shot = capture_bridge::take_screenshot(filter, configuration);
  if (!shot.ok()) return framework_failure(shot.error(), screenshot_prefix);
  platform::Ref<platform::Image> image = shot.take();

  // The framework may not honour the requested size: the image's own is the result's.
  CapturedPng out;
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
  std::string encoder_error;
  if (!encode_png_rows(out.width, out.height, rows, &out.png, &encoder_error)) {
    if (undrawable) return capture_bridge::pixels_failed().to_error("Failed to extract image data: ");
    return Error(Status::GenericFailure, "PNG encode failed: " + encoder_error);
  }
  return out;
}

}  // namespace deskcap::screen_capture
