// The steps both captures end with: screenshot, pixels, PNG.
#pragma once

#include <string>

#include "core/error.h"
#include "platform/platform.h"
#include "screen/screen.h"

namespace deskcap::screen_capture {

// Takes the screenshot (failures prefixed with `screenshot_prefix`), reads the
// returned image's size, extracts its pixels and encodes them.
Result<CapturedPng> screenshot_to_png(platform::ContentFilter* filter,
                                      platform::StreamConfiguration* configuration,
                                      const char* screenshot_prefix);

// A stream configuration of width x height pixels without the cursor.
Result<platform::Ref<platform::StreamConfiguration>> make_configuration(uint32_t width,
                                                                        uint32_t height);

}  // namespace deskcap::screen_capture
