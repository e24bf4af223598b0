#include "screen/capture_tail.h"

#include "screen/bridge.h"
#include "screen/png_encoder.h"

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
  out.width = static_cast<uint32_t>(platform::image_width(image.get()));
  out.height = static_cast<uint32_t>(platform::image_height(image.get()));

  auto pixels = capture_bridge::extract_pixels(image.get());
  image = platform::Ref<platform::Image>();
  if (!pixels.ok()) return pixels.error().to_error("Failed to extract image data: ");

  std::string encoder_error;
  const capture_bridge::PixelBlock& block = pixels.value();
  if (!encode_png(block.bytes, block.size, out.width, out.height, &out.png, &encoder_error))
    return Error(Status::GenericFailure, "PNG encode failed: " + encoder_error);
  return out;
}

}  // namespace deskcap::screen_capture
