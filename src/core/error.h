// The one error value of the system: a status and a UTF-8 reason. Plain owned
// data, so it moves freely between threads; only the addon frame turns it into
// a JavaScript Error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>

namespace deskcap {

// Node-API's status values 0..22 keep their numbers; anything else is Unknown.
enum class Status : int32_t {
  Ok = 0,
  InvalidArg = 1,
  ObjectExpected = 2,
  StringExpected = 3,
  NameExpected = 4,
  FunctionExpected = 5,
  NumberExpected = 6,
  BooleanExpected = 7,
  ArrayExpected = 8,
  GenericFailure = 9,
  PendingException = 10,
  Cancelled = 11,
  EscapeCalledTwice = 12,
  HandleScopeMismatch = 13,
  CallbackScopeMismatch = 14,
  QueueFull = 15,
  Closing = 16,
  BigintExpected = 17,
  DateExpected = 18,
  ArrayBufferExpected = 19,
  DetachableArraybufferExpected = 20,
  WouldDeadlock = 21,
  NoExternalBuffersAllowed = 22,
  Unknown = 1024,
};

// Maps a raw Node-API status: 0..22 kept, anything else Unknown.
constexpr Status status_from_raw(int32_t raw) {
  return raw >= 0 && raw <= 22 ? static_cast<Status>(raw) : Status::Unknown;
}

// The JavaScript `code` of a status, for example "GenericFailure".
constexpr const char* status_name(Status status) {
  constexpr const char* kNames[] = {
      "Ok", "InvalidArg", "ObjectExpected", "StringExpected", "NameExpected", "FunctionExpected",
      "NumberExpected", "BooleanExpected", "ArrayExpected", "GenericFailure", "PendingException",
      "Cancelled", "EscapeCalledTwice", "HandleScopeMismatch", "CallbackScopeMismatch", "QueueFull",
      "Closing", "BigintExpected", "DateExpected", "ArrayBufferExpected",
      "DetachableArraybufferExpected", "WouldDeadlock", "NoExternalBuffersAllowed",
  };
  const auto raw = static_cast<int32_t>(status);
  return raw >= 0 && raw <= 22 ? kNames[raw] : "Unknown";
}

// Opaque holder of a JavaScript reference carried by an Error that stands for
// an existing JavaScript value. Only the addon frame creates or reads one.
struct JsReference {
  virtual ~JsReference() = default;
};

// The refused permission behind a failure, so that a program can act on it
// without reading the message; None for every other failure.
enum class Permission { None, ScreenRecording, Camera };

// What the system cannot do at all, whatever the permissions; None for every
// other failure.
enum class Unsupported { None, WaylandSession };

struct Error {
  Status status = Status::GenericFailure;
  std::string reason;
  Permission permission = Permission::None;
  Unsupported unsupported = Unsupported::None;
  std::unique_ptr<Error> cause;
  std::unique_ptr<JsReference> reference;

  Error() = default;
  Error(Status s, std::string r) : status(s), reason(std::move(r)) {}
  explicit Error(std::string r) : Error(Status::GenericFailure, std::move(r)) {}
  Error(Error&&) noexcept = default;
  Error& operator=(Error&&) noexcept = default;

  static Error from_napi(int32_t raw_status, std::string reason) {
    return Error(status_from_raw(raw_status), std::move(reason));
  }
  // "prefix" + own reason, keeping the status: how every message chain is built.
  Error prefixed(const std::string& prefix) && {
    reason.insert(0, prefix);
    return std::move(*this);
  }
};

// A value or an error (an Error unless a layer has a richer kind of its own),
// the answer of every operation of the system.
template <class T, class E = Error>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT(implicit)
  Result(E error) : v_(std::move(error)) {}  // NOLINT(implicit)
  bool ok() const { return v_.index() == 0; }
  T& value() { return std::get<0>(v_); }
  const T& value() const { return std::get<0>(v_); }
  E& error() { return std::get<1>(v_); }
  const E& error() const { return std::get<1>(v_); }
  T take() { return std::move(std::get<0>(v_)); }
  E take_error() { return std::move(std::get<1>(v_)); }

 private:
  std::variant<T, E> v_;
};

struct Unit {};

}  // namespace deskcap
