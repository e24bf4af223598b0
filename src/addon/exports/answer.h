// Shared tail of the synchronous exports: throw the error, or build the value.
#pragma once

#include <node_api.h>

#include "core/error.h"
#include "addon/convert.h"
#include "addon/js_error.h"

namespace deskcap::js {

inline napi_value fail(napi_env env, Error error) {
  throw_error(env, std::move(error));
  return nullptr;
}

template <class T, class BuildFn>
napi_value answer(napi_env env, Result<T> outcome, BuildFn build) {
  if (!outcome.ok()) {
    throw_error(env, outcome.take_error());
    return nullptr;
  }
  Build value = build(env, outcome.value());
  if (!value.ok()) {
    throw_error(env, value.take_error());
    return nullptr;
  }
  return value.value();
}

// The argument as a JavaScript string, or nullptr with the error thrown.
inline std::optional<std::string> string_argument(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 1);
  if (!args.ok()) {
    throw_error(env, args.take_error());
    return std::nullopt;
  }
  auto text = read_string(env, args.value()[0]);
  if (!text.ok()) {
    throw_error(env, text.take_error());
    return std::nullopt;
  }
  return text.take();
}

}  // namespace deskcap::js
