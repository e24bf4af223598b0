// Reading arguments from JavaScript values and building results as JavaScript
// values. JavaScript thread only.
#pragma once

#include <node_api.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"

namespace deskcap::js {

// ---- arguments ----
Result<std::vector<napi_value>> read_arguments(napi_env env, napi_callback_info info, size_t count);
Result<uint32_t> read_uint32(napi_env env, napi_value value);
Result<double> read_double(napi_env env, napi_value value);
Result<std::string> read_string(napi_env env, napi_value value);
// Absent (undefined) gives nullopt; null and every other value are present.
Result<std::optional<napi_value>> read_object_field(napi_env env, napi_value object, const char* field);
Result<std::vector<uint32_t>> read_uint32_array(napi_env env, napi_value value);

// A failure at a known place: " on {Object}.{field}" appended to the message.
Error located(Error error, const char* object, const char* field);

// ---- results ----
using Build = Result<napi_value>;
Build make_uint32(napi_env env, uint32_t value);
Build make_int32(napi_env env, int32_t value);
Build make_double(napi_env env, double value);
Build make_bool(napi_env env, bool value);
Build make_string(napi_env env, const std::string& value);
Build make_null(napi_env env);
Build make_undefined(napi_env env);
// Takes the block: external Buffer freed by a finaliser, or a copy when the host
// refuses external buffers (status 22); empty -> zero-length Buffer.
Build make_buffer(napi_env env, std::vector<uint8_t> bytes);

template <class T, class F>
Build make_array(napi_env env, const std::vector<T>& items, F&& element) {
  napi_value array = nullptr;
  napi_status s = napi_create_array_with_length(env, items.size(), &array);
  if (s != napi_ok) return Error::from_napi(s, "Failed to create napi Array");
  for (size_t i = 0; i < items.size(); ++i) {
    Build value = element(env, items[i]);
    if (!value.ok()) return value;
    s = napi_set_element(env, array, static_cast<uint32_t>(i), value.value());
    if (s != napi_ok)
      return Error::from_napi(s, "Failed to set element with index `" + std::to_string(i) + "`");
  }
  return array;
}

// An object with named fields, built value-first in the given order.
struct Field {
  const char* name;
  std::function<Build(napi_env)> value;
};
Build make_object(napi_env env, std::initializer_list<Field> fields);

template <class T, class F>
Build make_optional(napi_env env, const std::optional<T>& value, F&& build) {
  if (!value) return make_null(env);
  return build(env, *value);
}

}  // namespace deskcap::js
