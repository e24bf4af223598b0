// The one conversion of errors at the JavaScript boundary.
#pragma once

#include <node_api.h>

#include <string>

#include "core/error.h"

namespace deskcap::js {

// An Error for a failed Node-API call: the call's status (mapped) and a reason.
inline Error napi_error(napi_status status, std::string reason) {
  return Error::from_napi(static_cast<int32_t>(status), std::move(reason));
}

// A JavaScript reference carried by an Error that stands for an existing value.
struct NapiReference final : JsReference {
  NapiReference(napi_env e, napi_ref r) : env(e), ref(r) {}
  napi_env env;
  napi_ref ref;
};

// The error as a JavaScript Error with `message` and `code` (and `cause`).
Result<napi_value> to_js(napi_env env, Error error);

// Makes the error the pending exception, unless one is pending already (that
// one wins, unchanged).
void throw_error(napi_env env, Error error);

// A pending JavaScript exception (from a callback the addon made) goes where
// the host sends uncaught ones, so that the addon's next callbacks still run.
void report_pending_exception(napi_env env);

// Calls `fn` with `args` (`this` undefined) and reports what it throws as
// report_pending_exception does.
void call_reporting(napi_env env, napi_value fn, size_t argc, const napi_value* args);

// Ends the process: for states the addon cannot continue from.
[[noreturn]] void fatal(const char* message);

}  // namespace deskcap::js
