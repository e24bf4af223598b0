#include "addon/convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "addon/js_error.h"

namespace deskcap::js {
namespace {

const char* type_name(napi_valuetype type) {
  static const char* const kNames[] = {"Undefined", "Null",     "Boolean",  "Number", "String",
                                       "Symbol",    "Object",   "Function", "External", "BigInt"};
  auto raw = static_cast<int>(type);
  return raw >= 0 && raw <= 9 ? kNames[raw] : "Unknown";
}

// A failed read names the JavaScript type found and the native type wanted.
Error read_failure(napi_env env, napi_value value, napi_status status, const char* wanted) {
  napi_valuetype type;
  napi_status t = napi_typeof(env, value, &type);
  if (t != napi_ok) return napi_error(t, "");
  return napi_error(status, std::string("Failed to convert JavaScript value `") + type_name(type) +
                                "` into native type `" + wanted + "`");
}

}  // namespace

Result<std::vector<napi_value>> read_arguments(napi_env env, napi_callback_info info, size_t count) {
  std::vector<napi_value> args(count, nullptr);
  size_t argc = count;
  napi_value self = nullptr;
  napi_status s = napi_get_cb_info(env, info, &argc, count ? args.data() : nullptr, &self, nullptr);
  if (s != napi_ok) return napi_error(s, "Failed to initialize napi function call.");
  return args;
}

Result<uint32_t> read_uint32(napi_env env, napi_value value) {
  uint32_t out = 0;
  napi_status s = napi_get_value_uint32(env, value, &out);
  if (s != napi_ok) return read_failure(env, value, s, "u32");
  return out;
}

Result<double> read_double(napi_env env, napi_value value) {
  double out = 0;
  napi_status s = napi_get_value_double(env, value, &out);
  if (s != napi_ok) return read_failure(env, value, s, "f64");
  return out;
}

Result<std::string> read_string(napi_env env, napi_value value) {
  size_t length = 0;
  napi_status s = napi_get_value_string_utf8(env, value, nullptr, 0, &length);
  if (s != napi_ok) return read_failure(env, value, s, "String");
  std::string out(length + 1, '\0');
  s = napi_get_value_string_utf8(env, value, out.data(), out.size(), &length);
  if (s != napi_ok) return read_failure(env, value, s, "String");
  out.resize(length);
  return out;
}

Result<bool> read_bool(napi_env env, napi_value value) {
  bool out = false;
  napi_status s = napi_get_value_bool(env, value, &out);
  if (s != napi_ok) return read_failure(env, value, s, "bool");
  return out;
}

std::string number_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  // The shortest text that reads back as the same number.
  char text[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

Result<std::optional<napi_value>> read_object_field(napi_env env, napi_value object, const char* field) {
  napi_value key = nullptr, value = nullptr;
  napi_status s = napi_create_string_utf8(env, field, NAPI_AUTO_LENGTH, &key);
  if (s != napi_ok) return napi_error(s, std::string("Failed to create property key with `") + field + "`");
  s = napi_get_property(env, object, key, &value);
  if (s != napi_ok) return napi_error(s, std::string("Failed to get property with field `") + field + "`");
  napi_valuetype type;
  s = napi_typeof(env, value, &type);
  if (s != napi_ok) return napi_error(s, "");
  if (type == napi_undefined) return std::optional<napi_value>();
  return std::optional<napi_value>(value);
}

Result<std::vector<uint32_t>> read_uint32_array(napi_env env, napi_value value) {
  bool is_array = false;
  napi_status s = napi_is_array(env, value, &is_array);
  if (s != napi_ok) return napi_error(s, "Failed to check given napi value is array");
  if (!is_array) return Error(Status::InvalidArg, "Given napi value is not an array");
  uint32_t length = 0;
  s = napi_get_array_length(env, value, &length);
  if (s != napi_ok) return napi_error(s, "Failed to get Array length");
  // The length is the caller's word (2^32-1 for `a.length = 2 ** 32 - 1`), not
  // elements that exist: reserve a little and grow with what is really read.
  std::vector<uint32_t> out;
  out.reserve(std::min<uint32_t>(length, 1024));
  for (uint32_t i = 0; i < length; ++i) {
    napi_value element = nullptr;
    s = napi_get_element(env, value, i, &element);
    if (s != napi_ok) return napi_error(s, "Failed to get element with index `" + std::to_string(i) + "`");
    auto n = read_uint32(env, element);
    if (!n.ok()) return n.take_error();
    out.push_back(n.value());
  }
  return out;
}

Error located(Error error, const char* object, const char* field) {
  error.reason += std::string(" on ") + object + "." + field;
  return error;
}

namespace {

// One value from a Node-API maker that writes it through `out`; a failure is
// worded with the native type's name.
template <class Make>
Build made(const char* native_type, Make make) {
  napi_value out = nullptr;
  napi_status s = make(&out);
  if (s != napi_ok)
    return napi_error(s, std::string("Failed to convert native type `") + native_type + "` into a JavaScript value");
  return out;
}

}  // namespace

Build make_uint32(napi_env env, uint32_t value) {
  return made("u32", [&](napi_value* out) { return napi_create_uint32(env, value, out); });
}

Build make_int32(napi_env env, int32_t value) {
  return made("i32", [&](napi_value* out) { return napi_create_int32(env, value, out); });
}

Build make_double(napi_env env, double value) {
  return made("f64", [&](napi_value* out) { return napi_create_double(env, value, out); });
}

Build make_bool(napi_env env, bool value) {
  return made("bool", [&](napi_value* out) { return napi_get_boolean(env, value, out); });
}

Build make_string(napi_env env, const std::string& value) {
  return made("String", [&](napi_value* out) { return napi_create_string_utf8(env, value.data(), value.size(), out); });
}

Build make_null(napi_env env) {
  napi_value out = nullptr;
  napi_status s = napi_get_null(env, &out);
  if (s != napi_ok) return napi_error(s, "Failed to create JavaScript null");
  return out;
}

Build make_undefined(napi_env env) {
  napi_value out = nullptr;
  napi_status s = napi_get_undefined(env, &out);
  if (s != napi_ok) return napi_error(s, "Failed to create JavaScript undefined");
  return out;
}

namespace {

bool host_refuses_external_buffers() {
#if DESKCAP_TESTING
  // Lets tests take the path Electron's memory cage forces.
  const char* v = std::getenv("DESKCAP_TEST_REFUSE_EXTERNAL_BUFFERS");
  return v != nullptr && v[0] == '1';
#else
  return false;
#endif
}

void free_block(napi_env, void*, void* hint) { delete static_cast<std::vector<uint8_t>*>(hint); }

}  // namespace

Build make_buffer(napi_env env, std::vector<uint8_t> bytes) {
  napi_value out = nullptr;
  if (bytes.empty()) {
    napi_status s = napi_create_buffer(env, 0, nullptr, &out);
    if (s != napi_ok) return napi_error(s, "Failed to create napi buffer");
    return out;
  }
  napi_status s = napi_no_external_buffers_allowed;
  if (!host_refuses_external_buffers()) {
    auto* block = new std::vector<uint8_t>(std::move(bytes));
    s = napi_create_external_buffer(env, block->size(), block->data(), free_block, block, &out);
    if (s == napi_ok) return out;
    // No finaliser was registered when the call failed: the block is still ours.
    bytes = std::move(*block);
    delete block;
  }
  if (s != napi_no_external_buffers_allowed) return napi_error(s, "Failed to create napi buffer");
  s = napi_create_buffer_copy(env, bytes.size(), bytes.data(), nullptr, &out);
  if (s != napi_ok) return napi_error(s, "Failed to create napi buffer");
  return out;
}

Build set_element(napi_env env, ListSlot slot, napi_value value) {
  napi_status s = napi_set_element(env, slot.list, slot.index, value);
  if (s != napi_ok)
    return Error::from_napi(s, "Failed to set element with index `" + std::to_string(slot.index) + "`");
  return value;
}

Build make_object(napi_env env, std::initializer_list<Field> fields, ListSlot slot) {
  // More fields than any result has.
  constexpr size_t kMostFields = 16;
  if (fields.size() > kMostFields) return Error(Status::GenericFailure, "Failed to create object");
  napi_property_descriptor descriptors[kMostFields] = {};
  size_t count = 0;
  for (const Field& field : fields) {
    Build value = field.kind == Field::Kind::Number    ? make_double(env, field.number)
                  : field.kind == Field::Kind::Boolean ? make_bool(env, field.number != 0)
                                                       : field.value(env);
    if (!value.ok()) return value;
    // What an object literal makes: plain data properties, in field order.
    descriptors[count].utf8name = field.name;
    descriptors[count].value = value.value();
    descriptors[count++].attributes =
        static_cast<napi_property_attributes>(napi_writable | napi_enumerable | napi_configurable);
  }
  napi_value object = nullptr;
  napi_status s = napi_create_object(env, &object);
  if (s != napi_ok) return napi_error(s, "Failed to create object");
  s = napi_define_properties(env, object, count, descriptors);
  if (s != napi_ok) return napi_error(s, "Failed to define properties");
  if (slot.list != nullptr) return set_element(env, slot, object);
  return object;
}

}  // namespace deskcap::js
