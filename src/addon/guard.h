// The one guard around everything the host calls: export callbacks and the
// registration. A C++ exception that escapes the body (std::bad_alloc above
// all) becomes a thrown JavaScript Error with code "GenericFailure", so that it
// never crosses into the host, which would end the process.
#pragma once

#include <node_api.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <new>

#include "addon/test_faults.h"

namespace deskcap::js {

// Throws "{what} failed: {detail}" unless an exception is pending (that one
// wins). Builds the text without allocating: memory may have just run out.
inline void throw_escaped(napi_env env, const char* what, const char* detail) noexcept {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) return;
  char message[512];
  std::snprintf(message, sizeof message, "%s failed: %s", what, detail);
  napi_throw_error(env, "GenericFailure", message);
}

template <class Body>
napi_value guarded(napi_env env, const char* what, Body&& body) noexcept {
  try {
    maybe_inject_callback_fault(what);
    return body();
  } catch (const std::bad_alloc&) {
    throw_escaped(env, what, "out of memory");
  } catch (const std::exception& e) {
    throw_escaped(env, what, e.what());
  } catch (...) {
    throw_escaped(env, what, "unknown exception");
  }
  return nullptr;
}

// An export's JavaScript name as a template argument.
template <size_t N>
struct ExportName {
  constexpr ExportName(const char (&text)[N]) { std::copy_n(text, N, chars); }
  char chars[N];
};

// The callback the host gets for an export: `callback` inside the guard.
template <ExportName name, napi_callback callback>
napi_value guarded_export(napi_env env, napi_callback_info info) {
  return guarded(env, name.chars, [&] { return callback(env, info); });
}

}  // namespace deskcap::js
