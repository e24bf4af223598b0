#include "core/error.h"

namespace deskcap {

Status status_from_raw(int32_t raw) {
  if (raw >= 0 && raw <= 22) return static_cast<Status>(raw);
  return Status::Unknown;
}

const char* status_name(Status status) {
  static const char* const kNames[] = {
      "Ok",
      "InvalidArg",
      "ObjectExpected",
      "StringExpected",
      "NameExpected",
      "FunctionExpected",
      "NumberExpected",
      "BooleanExpected",
      "ArrayExpected",
      "GenericFailure",
      "PendingException",
      "Cancelled",
      "EscapeCalledTwice",
      "HandleScopeMismatch",
      "CallbackScopeMismatch",
      "QueueFull",
      "Closing",
      "BigintExpected",
      "DateExpected",
      "ArrayBufferExpected",
      "DetachableArraybufferExpected",
      "WouldDeadlock",
      "NoExternalBuffersAllowed",
  };
  auto raw = static_cast<int32_t>(status);
  if (raw >= 0 && raw <= 22) return kNames[raw];
  return "Unknown";
}

}  // namespace deskcap
