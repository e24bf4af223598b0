#include "screen/capture_error.h"

namespace deskcap::capture_bridge {

std::optional<StreamErrorCode> stream_error_code_from_raw(int64_t code) {
  if (code < -3821 || code > -3801) return std::nullopt;
  return static_cast<StreamErrorCode>(code);
}

const char* stream_error_code_name(StreamErrorCode code) {
  switch (code) {
    case StreamErrorCode::UserDeclined: return "User declined screen recording";
    case StreamErrorCode::FailedToStart: return "Failed to start stream";
    case StreamErrorCode::MissingEntitlements: return "Missing entitlements";
    case StreamErrorCode::FailedApplicationConnectionInvalid: return "Application connection invalid";
    case StreamErrorCode::FailedApplicationConnectionInterrupted: return "Application connection interrupted";
    case StreamErrorCode::FailedNoMatchingApplicationContext: return "No matching application context";
    case StreamErrorCode::AttemptToStartStreamState: return "Stream is already running";
    case StreamErrorCode::AttemptToStopStreamState: return "Stream is not running";
    case StreamErrorCode::AttemptToUpdateFilterState: return "Cannot update filter while streaming";
    case StreamErrorCode::AttemptToConfigState: return "Cannot configure while streaming";
    case StreamErrorCode::InternalError: return "Internal error";
    case StreamErrorCode::InvalidParameter: return "Invalid parameter";
    case StreamErrorCode::NoWindowList: return "No window list provided";
    case StreamErrorCode::NoDisplayList: return "No display list provided";
    case StreamErrorCode::NoCaptureSource: return "No capture source provided";
    case StreamErrorCode::RemovingStream: return "Failed to remove stream";
    case StreamErrorCode::UserStopped: return "User stopped the stream";
    case StreamErrorCode::FailedToStartAudioCapture: return "Failed to start audio capture";
    case StreamErrorCode::FailedToStopAudioCapture: return "Failed to stop audio capture";
    case StreamErrorCode::FailedToStartMicrophoneCapture: return "Failed to start microphone capture";
    case StreamErrorCode::SystemStoppedStream: return "System stopped the stream";
  }
  return "Unknown stream error";
}

CaptureError CaptureError::invalid_dimension(std::string field, int64_t value) {
  CaptureError e(Kind::InvalidDimension, std::move(field));
  e.number_ = value;
  return e;
}

CaptureError CaptureError::feature_not_available(std::string feature, std::string required_version) {
  CaptureError e(Kind::FeatureNotAvailable, std::move(feature));
  e.second_ = std::move(required_version);
  return e;
}

CaptureError CaptureError::os_error(int32_t code, std::string text) {
  CaptureError e(Kind::Os, std::move(text));
  e.number_ = code;
  return e;
}

CaptureError CaptureError::stream_error_with_code(StreamErrorCode code,
                                                  std::optional<std::string> text) {
  CaptureError e(Kind::StreamErrorWithCode, text.value_or(""));
  e.number_ = static_cast<int64_t>(code);
  e.has_text_ = text.has_value();
  return e;
}

std::string CaptureError::text() const {
  switch (kind_) {
    case Kind::InvalidConfiguration: return "Invalid configuration: " + text_;
    case Kind::InvalidDimension:
      return "Invalid dimension: " + text_ + " must be greater than 0 (got " +
             std::to_string(number_) + ")";
    case Kind::InvalidPixelFormat: return "Invalid pixel format: " + text_;
    case Kind::NoShareableContent: return "No shareable content available: " + text_;
    case Kind::DisplayNotFound: return "Display not found: " + text_;
    case Kind::WindowNotFound: return "Window not found: " + text_;
    case Kind::ApplicationNotFound: return "Application not found: " + text_;
    case Kind::StreamError: return "Stream error: " + text_;
    case Kind::CaptureStartFailed: return "Failed to start capture: " + text_;
    case Kind::CaptureStopFailed: return "Failed to stop capture: " + text_;
    case Kind::BufferLockFailed: return "Failed to lock pixel buffer: " + text_;
    case Kind::BufferUnlockFailed: return "Failed to unlock pixel buffer: " + text_;
    case Kind::InvalidBuffer: return "Invalid buffer: " + text_;
    case Kind::ScreenshotFailed: return "Screenshot capture failed: " + text_;
    case Kind::PermissionDenied:
      return "Permission denied: " + text_ +
             ". Check System Preferences \xE2\x86\x92 Security & Privacy \xE2\x86\x92 Screen Recording";
    case Kind::FeatureNotAvailable:
      return "Feature not available: " + text_ + " requires macOS " + second_ + "+";
    case Kind::CallBoundary: return "FFI error: " + text_;
    case Kind::NullPointer: return "Null pointer: " + text_;
    case Kind::TimedOut: return "Operation timed out: " + text_;
    case Kind::Internal: return "Internal error: " + text_;
    case Kind::Os: return "OS error " + std::to_string(number_) + ": " + text_;
    case Kind::StreamErrorWithCode: {
      auto code = stream_error_code_from_raw(number_);
      std::string name = code ? stream_error_code_name(*code) : std::to_string(number_);
      if (!has_text_) return "SCStream error: " + name;
      return "SCStream error (" + name + "): " + text_;
    }
  }
  return text_;
}

Error CaptureError::to_error(const std::string& prefix) const {
  return Error(Status::GenericFailure, prefix + text());
}

}  // namespace deskcap::capture_bridge
