#include "addon/js_error.h"

#include <optional>
#include <string>
#include <string_view>

namespace deskcap::js {

// The system's statuses are Node-API's, number for number, and each name is
// the JavaScript `code` of its errors: checked here, where both are in sight.
#define DESKCAP_SAME_STATUS(napi, ours)                                  \
  static_assert(static_cast<int>(napi) == static_cast<int>(Status::ours) && \
                status_from_raw(napi) == Status::ours &&                  \
                std::string_view(status_name(Status::ours)) == #ours)
DESKCAP_SAME_STATUS(napi_ok, Ok);
DESKCAP_SAME_STATUS(napi_invalid_arg, InvalidArg);
DESKCAP_SAME_STATUS(napi_object_expected, ObjectExpected);
DESKCAP_SAME_STATUS(napi_string_expected, StringExpected);
DESKCAP_SAME_STATUS(napi_name_expected, NameExpected);
DESKCAP_SAME_STATUS(napi_function_expected, FunctionExpected);
DESKCAP_SAME_STATUS(napi_number_expected, NumberExpected);
DESKCAP_SAME_STATUS(napi_boolean_expected, BooleanExpected);
DESKCAP_SAME_STATUS(napi_array_expected, ArrayExpected);
DESKCAP_SAME_STATUS(napi_generic_failure, GenericFailure);
DESKCAP_SAME_STATUS(napi_pending_exception, PendingException);
DESKCAP_SAME_STATUS(napi_cancelled, Cancelled);
DESKCAP_SAME_STATUS(napi_escape_called_twice, EscapeCalledTwice);
DESKCAP_SAME_STATUS(napi_handle_scope_mismatch, HandleScopeMismatch);
DESKCAP_SAME_STATUS(napi_callback_scope_mismatch, CallbackScopeMismatch);
DESKCAP_SAME_STATUS(napi_queue_full, QueueFull);
DESKCAP_SAME_STATUS(napi_closing, Closing);
DESKCAP_SAME_STATUS(napi_bigint_expected, BigintExpected);
DESKCAP_SAME_STATUS(napi_date_expected, DateExpected);
DESKCAP_SAME_STATUS(napi_arraybuffer_expected, ArrayBufferExpected);
DESKCAP_SAME_STATUS(napi_detachable_arraybuffer_expected, DetachableArraybufferExpected);
DESKCAP_SAME_STATUS(napi_would_deadlock, WouldDeadlock);
DESKCAP_SAME_STATUS(napi_no_external_buffers_allowed, NoExternalBuffersAllowed);
#undef DESKCAP_SAME_STATUS
static_assert(status_from_raw(napi_no_external_buffers_allowed + 1) == Status::Unknown &&
              status_from_raw(-1) == Status::Unknown &&
              std::string_view(status_name(Status::Unknown)) == "Unknown");

void fatal(const char* message) { napi_fatal_error("deskcap", NAPI_AUTO_LENGTH, message, NAPI_AUTO_LENGTH); }

namespace {

// The value behind an error's reference, released as it is read.
Result<napi_value> take_reference(napi_env env, Error& error) {
  auto* holder = static_cast<NapiReference*>(error.reference.get());
  napi_value value = nullptr;
  napi_status s = napi_get_reference_value(env, holder->ref, &value);
  uint32_t count = 0;
  if (napi_reference_unref(env, holder->ref, &count) == napi_ok && count == 0)
    napi_delete_reference(env, holder->ref);
  error.reference.reset();
  if (s != napi_ok) return napi_error(s, "Get error reference in `to_napi_value` failed");
  return value;
}

// The `permission` property of a refused capture; null for other failures.
const char* permission_name(Permission permission) {
  switch (permission) {
    case Permission::ScreenRecording: return "screen-recording";
    case Permission::Camera: return "camera";
    case Permission::None: break;
  }
  return nullptr;
}

// The `unsupported` property of a capture the system cannot make; null for
// other failures.
const char* unsupported_name(Unsupported unsupported) {
  switch (unsupported) {
    case Unsupported::WaylandSession: return "wayland-session";
    case Unsupported::None: break;
  }
  return nullptr;
}

}  // namespace

Result<napi_value> to_js(napi_env env, Error error) {
  if (error.reference) {
    auto value = take_reference(env, error);
    if (!value.ok()) return value;
    bool is_error = false;
    if (value.value() != nullptr && napi_is_error(env, value.value(), &is_error) == napi_ok && is_error)
      return value;
  }
  napi_value code = nullptr, message = nullptr, result = nullptr;
  const char* name = status_name(error.status);
  napi_status s = napi_create_string_utf8(env, name, NAPI_AUTO_LENGTH, &code);
  if (s != napi_ok) return napi_error(s, "Failed to create error code string");
  s = napi_create_string_utf8(env, error.reason.data(), error.reason.size(), &message);
  if (s != napi_ok) return napi_error(s, "Failed to create error message string");
  s = napi_create_error(env, code, message, &result);
  if (s != napi_ok) return napi_error(s, "Failed to create error");
  // A string property that lets a program act on the failure without reading its message.
  auto tag = [&](const char* key, const char* value) -> std::optional<Error> {
    napi_value text = nullptr;
    napi_status t = napi_create_string_utf8(env, value, NAPI_AUTO_LENGTH, &text);
    if (t != napi_ok) return napi_error(t, std::string("Failed to create error ") + key + " string");
    t = napi_set_named_property(env, result, key, text);
    if (t != napi_ok) return napi_error(t, std::string("Failed to set error ") + key);
    return std::nullopt;
  };
  if (const char* permission = permission_name(error.permission))
    if (auto failed = tag("permission", permission)) return std::move(*failed);
  if (const char* unsupported = unsupported_name(error.unsupported))
    if (auto failed = tag("unsupported", unsupported)) return std::move(*failed);
  if (error.cause) {
    auto cause = to_js(env, std::move(*error.cause));
    if (!cause.ok()) fatal("Convert cause Error to napi_value should never error");
    if (napi_set_named_property(env, result, "cause", cause.value()) != napi_ok)
      fatal("Convert cause Error to napi_value should never error");
  }
  return result;
}

void throw_error(napi_env env, Error error) {
  if (error.status == Status::PendingException) return;
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) != napi_ok) fatal("Check exception status failed");
  if (pending) {
    napi_value exception = nullptr;
    if (napi_get_and_clear_last_exception(env, &exception) != napi_ok)
      fatal("Get and clear last exception failed");
    napi_throw(env, exception);
    return;
  }
  auto value = to_js(env, std::move(error));
  if (value.ok()) {
    napi_throw(env, value.value());
  } else {
    Error& e = value.error();
    napi_throw_error(env, status_name(e.status), e.reason.c_str());
  }
}

void report_pending_exception(napi_env env) {
  bool pending = false;
  napi_value exception = nullptr;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending &&
      napi_get_and_clear_last_exception(env, &exception) == napi_ok)
    napi_fatal_exception(env, exception);
}

void call_reporting(napi_env env, napi_value fn, size_t argc, const napi_value* args) {
  napi_value undefined = nullptr, ignored = nullptr;
  if (napi_get_undefined(env, &undefined) == napi_ok) napi_call_function(env, undefined, fn, argc, args, &ignored);
  report_pending_exception(env);
}

}  // namespace deskcap::js
