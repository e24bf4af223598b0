// The screen-capture bridge's error: a kind and its data. Its text is the tail
// of every screen-capture rejection message, so the templates are fixed words.
#pragma once

#include <string>
#include <utility>

#include "core/error.h"

namespace deskcap::capture_bridge {

class CaptureError {
 public:
  // The kinds a capture can meet: the framework's answer to a content fetch
  // or a screenshot, a filter the framework would not make, pixels that could
  // not be drawn.
  enum class Kind { NoShareableContent, ScreenshotFailed, NullPointer, Internal };

  CaptureError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  Kind kind() const { return kind_; }
  // The full text from the kind's template.
  std::string text() const;
  // A GenericFailure whose reason is `prefix` + text().
  Error to_error(const std::string& prefix = "") const;

 private:
  Kind kind_;
  std::string text_;
};

// The answer of every bridge operation.
template <class T>
using CaptureResult = Result<T, CaptureError>;

}  // namespace deskcap::capture_bridge
