// Reading arguments from JavaScript values and building results as JavaScript
// values. JavaScript thread only.
#pragma once

#include <node_api.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/error.h"

namespace deskcap::js {

// ---- arguments ----
Result<std::vector<napi_value>> read_arguments(napi_env env, napi_callback_info info, size_t count);
Result<uint32_t> read_uint32(napi_env env, napi_value value);
Result<double> read_double(napi_env env, napi_value value);
Result<std::string> read_string(napi_env env, napi_value value);
Result<bool> read_bool(napi_env env, napi_value value);
// Absent (undefined) gives nullopt; null and every other value are present.
Result<std::optional<napi_value>> read_object_field(napi_env env, napi_value object, const char* field);
Result<std::vector<uint32_t>> read_uint32_array(napi_env env, napi_value value);

// A number as JavaScript prints it (1.5, 0, NaN, Infinity), for messages.
std::string number_text(double value);

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

// Where a list element goes. An element builder that takes one (as
// make_object does) puts its value there itself.
struct ListSlot {
  napi_value list = nullptr;
  uint32_t index = 0;
};
Build set_element(napi_env env, ListSlot slot, napi_value value);

// A result object's field: a number (uint32, int32, an integer within 2^53 or
// a double: the same JavaScript number), a boolean, or a value built by a
// function.
struct Field {
  enum class Kind : uint8_t { Number, Boolean, Value };

  template <class N, std::enable_if_t<std::is_arithmetic_v<N> && !std::is_same_v<N, bool>, int> = 0>
  Field(const char* field_name, N n) : name(field_name), kind(Kind::Number), number(static_cast<double>(n)) {}
  Field(const char* field_name, bool flag) : name(field_name), kind(Kind::Boolean), number(flag ? 1 : 0) {}
  Field(const char* field_name, std::function<Build(napi_env)> build)
      : name(field_name), kind(Kind::Value), value(std::move(build)) {}

  const char* name;
  Kind kind;
  double number = 0;
  std::function<Build(napi_env)> value;
};

// An object with named fields, the built values made in field order; put at
// `slot` when it has a list.
Build make_object(napi_env env, std::initializer_list<Field> fields, ListSlot slot = {});

template <class T, class F>
Build make_array(napi_env env, const std::vector<T>& items, F&& element) {
  napi_value array = nullptr;
  napi_status s = napi_create_array_with_length(env, items.size(), &array);
  if (s != napi_ok) return Error::from_napi(s, "Failed to create napi Array");
  for (size_t i = 0; i < items.size(); ++i) {
    const ListSlot slot{array, static_cast<uint32_t>(i)};
    Build value = array;
    if constexpr (std::is_invocable_v<F&, napi_env, const T&, ListSlot>) {
      value = element(env, items[i], slot);
    } else {
      value = element(env, items[i]);
      if (value.ok()) value = set_element(env, slot, value.value());
    }
    if (!value.ok()) return value;
  }
  return array;
}

template <class T, class F>
Build make_optional(napi_env env, const std::optional<T>& value, F&& build) {
  if (!value) return make_null(env);
  return build(env, *value);
}

}  // namespace deskcap::js
