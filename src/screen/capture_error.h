// The screen-capture bridge's error: a kind and its data. Its text is the tail
// of every screen-capture rejection message, so the templates are fixed words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "core/error.h"

namespace deskcap::capture_bridge {

// SCStreamErrorDomain codes.
enum class StreamErrorCode : int32_t {
  UserDeclined = -3801,
  FailedToStart = -3802,
  MissingEntitlements = -3803,
  FailedApplicationConnectionInvalid = -3804,
  FailedApplicationConnectionInterrupted = -3805,
  FailedNoMatchingApplicationContext = -3806,
  AttemptToStartStreamState = -3807,
  AttemptToStopStreamState = -3808,
  AttemptToUpdateFilterState = -3809,
  AttemptToConfigState = -3810,
  InternalError = -3811,
  InvalidParameter = -3812,
  NoWindowList = -3813,
  NoDisplayList = -3814,
  NoCaptureSource = -3815,
  RemovingStream = -3816,
  UserStopped = -3817,
  FailedToStartAudioCapture = -3818,
  FailedToStopAudioCapture = -3819,
  FailedToStartMicrophoneCapture = -3820,
  SystemStoppedStream = -3821,
};

inline constexpr const char* kStreamErrorDomain = "com.apple.ScreenCaptureKit.SCStreamErrorDomain";

// nullopt for a code outside -3821..-3801.
std::optional<StreamErrorCode> stream_error_code_from_raw(int64_t code);
// "User declined screen recording", ...
const char* stream_error_code_name(StreamErrorCode code);

class CaptureError {
 public:
  enum class Kind {
    InvalidConfiguration,
    InvalidDimension,
    InvalidPixelFormat,
    NoShareableContent,
    DisplayNotFound,
    WindowNotFound,
    ApplicationNotFound,
    StreamError,
    CaptureStartFailed,
    CaptureStopFailed,
    BufferLockFailed,
    BufferUnlockFailed,
    InvalidBuffer,
    ScreenshotFailed,
    PermissionDenied,
    FeatureNotAvailable,
    CallBoundary,
    NullPointer,
    TimedOut,
    Internal,
    Os,
    StreamErrorWithCode,
  };

  // The kinds whose only data is a text.
  CaptureError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  static CaptureError invalid_dimension(std::string field, int64_t value);
  static CaptureError feature_not_available(std::string feature, std::string required_version);
  static CaptureError os_error(int32_t code, std::string text);
  static CaptureError stream_error_with_code(StreamErrorCode code,
                                             std::optional<std::string> text);

  Kind kind() const { return kind_; }
  // The kind's data text (the feature for FeatureNotAvailable, the field for
  // InvalidDimension); empty for a stream error with a code and no text.
  const std::string& detail() const { return text_; }
  // The full text from the kind's template.
  std::string text() const;
  // A GenericFailure whose reason is `prefix` + text().
  Error to_error(const std::string& prefix = "") const;

 private:
  Kind kind_;
  std::string text_;
  std::string second_;  // required version
  int64_t number_ = 0;  // dimension value, OS error code, stream error code
  bool has_text_ = true;
};

// The answer of every bridge operation.
template <class T>
using CaptureResult = Result<T, CaptureError>;

// The texts that the backends hand to a completion callback for a framework-side
// failure.
namespace bridge_text {
inline constexpr const char* kPermissionDenied = "Permission denied";
inline std::string invalid_parameter(const std::string& d) { return "Invalid parameter: " + d; }
inline std::string recording_error(const std::string& d) { return "Recording error: " + d; }
inline std::string screenshot_error(const std::string& d) { return "Screenshot error: " + d; }
inline std::string configuration_error(const std::string& d) { return "Configuration error: " + d; }
inline std::string content_unavailable(const std::string& d) { return "Content unavailable: " + d; }
inline constexpr const char* kContentTimeout = "Timeout waiting for shareable content";
}  // namespace bridge_text

}  // namespace deskcap::capture_bridge
