#include "screen/capture_error.h"

namespace deskcap::capture_bridge {

std::string CaptureError::text() const {
  switch (kind_) {
    case Kind::NoShareableContent: return "No shareable content available: " + text_;
    case Kind::ScreenshotFailed: return "Screenshot capture failed: " + text_;
    case Kind::NullPointer: return "Null pointer: " + text_;
    case Kind::Internal: return "Internal error: " + text_;
  }
  return text_;
}

Error CaptureError::to_error(const std::string& prefix) const {
  return Error(Status::GenericFailure, prefix + text());
}

}  // namespace deskcap::capture_bridge
