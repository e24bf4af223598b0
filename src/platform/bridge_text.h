// The words every backend puts before the framework's own text when one of the
// ScreenCaptureKit requests fails (the content, a screenshot, a stream). They
// end up inside the messages callers see, so all backends take them from here.
#pragma once

#include <string>

namespace deskcap::platform::bridge_text {

inline std::string content_unavailable(const std::string& d) { return "Content unavailable: " + d; }
inline std::string screenshot_error(const std::string& d) { return "Screenshot error: " + d; }
inline std::string stream_error(const std::string& d) { return "Stream error: " + d; }

}  // namespace deskcap::platform::bridge_text
