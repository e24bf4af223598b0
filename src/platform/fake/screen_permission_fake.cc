// The Screen Recording permission of the world's "screen.permission": a grant
// asked for in this process changes nothing until the next one, as on a Mac.
#include "platform/fake/screen_fake.h"

namespace deskcap::platform {

std::optional<bool> screen_capture_preflight() { return fake::screen::model()->screen_recording; }

bool screen_capture_request() { return fake::screen::model()->request_answer; }

// The fake is a Mac: every display can be captured.
DisplayCaptureLimit display_capture_limit() { return DisplayCaptureLimit::None; }

}  // namespace deskcap::platform
