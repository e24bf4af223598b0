// The words every backend puts before the framework's own text when one of the
// two ScreenCaptureKit completions fails. They end up inside the rejection
// messages callers see, so all backends take them from here.
#pragma once

#include <string>

namespace deskcap::platform::bridge_text {

inline std::string content_unavailable(const std::string& d) { return "Content unavailable: " + d; }
inline std::string screenshot_error(const std::string& d) { return "Screenshot error: " + d; }

}  // namespace deskcap::platform::bridge_text
