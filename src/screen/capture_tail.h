// The steps both captures end with: screenshot, pixels, PNG.
#pragma once

#include <string>

#include "core/error.h"
#include "platform/platform.h"
#include "screen/capture_error.h"
#include "screen/screen.h"

namespace deskcap::screen_capture {

// A capture's failed framework request (content or screenshot) as an Error
// whose reason is `prefix` + the bridge's text. The framework's refusal for want
// of Screen Recording permission carries no code of its own across the seam, so
// the system's answer to the permission check decides whether it was one.
Error framework_failure(const capture_bridge::CaptureError& error, const std::string& prefix);

// Takes the screenshot of width x height pixels that `configuration` asks for
// (failures prefixed with `screenshot_prefix`), reads the returned image's
// size, extracts its pixels and encodes them.
Result<CapturedPng> screenshot_to_png(platform::ContentFilter* filter,
                                      platform::StreamConfiguration* configuration, uint32_t width,
                                      uint32_t height, const char* screenshot_prefix);

// A stream configuration of width x height pixels without the cursor.
Result<platform::Ref<platform::StreamConfiguration>> make_configuration(uint32_t width,
                                                                        uint32_t height);

}  // namespace deskcap::screen_capture
