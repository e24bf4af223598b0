// What the still captures and the streams share: the filter and configuration
// of what is captured, and the encoding of a framework image as the caller
// asked. Worker threads; each blocks while the framework answers.
#pragma once

#include "platform/platform.h"
#include "screen/screen.h"

namespace deskcap {

// A display (some windows left out, maybe cropped) or a window, ready for the
// framework: `size` is the configured pixel size and `points_wide` the
// captured area's width in points, for the images' scale.
struct CaptureSource {
  platform::Ref<platform::ContentFilter> filter;
  platform::Ref<platform::StreamConfiguration> configuration;
  PixelSize size;
  double points_wide = 0;
};

// From the shareable content fetched now; errors as the captures give them.
Result<CaptureSource> display_source(const CaptureRequest& request);
Result<CaptureSource> window_source(uint32_t window_id, const OutputOptions& output);

// The image as `output` asks, into *out (its bytes' old contents replaced,
// their capacity kept); scale from `points_wide`. Does not consume `image`.
Result<Unit> encode_image(platform::Image* image, const OutputOptions& output, double points_wide, Screenshot* out);

// A failed framework request: marked as refused Screen Recording when the
// permission check says it is not granted, since the framework's refusal
// carries no code of its own across the seam.
Error framework_failure(std::string message);

// A framework text as a message part: "Unknown error" for none or one that is
// not UTF-8.
std::string framework_text(const char* text);

}  // namespace deskcap
