#include "addon/object_shapes.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "addon/env_state.h"

namespace deskcap::js {
namespace {

bool plain_identifier(const char* name) {
  if (*name == '\0' || (*name >= '0' && *name <= '9')) return false;
  for (const char* c = name; *c != '\0'; ++c) {
    bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
              *c == '_' || *c == '$';
    if (!ok) return false;
  }
  return true;
}

void clear_exception(napi_env env) {
  bool pending = false;
  napi_value ignored = nullptr;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) napi_get_and_clear_last_exception(env, &ignored);
}

// The value of a script, or nullptr with any exception it raised cleared.
napi_value run(napi_env env, const std::string& source) {
  napi_value script = nullptr, out = nullptr;
  if (napi_create_string_utf8(env, source.data(), source.size(), &script) != napi_ok ||
      napi_run_script(env, script, &out) != napi_ok) {
    clear_exception(env);
    return nullptr;
  }
  return out;
}

// The environment's scratch numbers: an ArrayBuffer's store, which the engine
// never moves, kept alive by a reference.
napi_value scratch(napi_env env, EnvState& state) {
  napi_value array = nullptr;
  if (state.scratch != nullptr) {
    if (napi_get_reference_value(env, state.scratch, &array) != napi_ok) return nullptr;
    return array;
  }
  napi_value buffer = nullptr;
  void* data = nullptr;
  constexpr size_t kLength = kMostFields + 1;
  if (napi_create_arraybuffer(env, kLength * sizeof(double), &data, &buffer) != napi_ok ||
      napi_create_typedarray(env, napi_float64_array, kLength, buffer, 0, &array) != napi_ok ||
      napi_create_reference(env, array, 1, &state.scratch) != napi_ok)
    return nullptr;
  state.numbers = static_cast<double*>(data);
  return array;
}

napi_value compile(napi_env env, EnvState& state, const Field* fields, size_t count) {
#if DESKCAP_TESTING
  // Lets tests take the path of a host that compiles nothing.
  static const bool refused = [] {
    const char* v = std::getenv("DESKCAP_TEST_NO_COMPILED_SHAPES");
    return v != nullptr && v[0] == '1';
  }();
  if (refused) return nullptr;
#endif
  std::string params = "l", body;
  for (size_t i = 0; i < count; ++i) {
    if (!plain_identifier(fields[i].name)) return nullptr;
    const std::string slot = std::to_string(i);
    if (i != 0) body += ',';
    body.append(fields[i].name).append(":");
    switch (fields[i].kind) {
      case Field::Kind::Number: body.append("s[" + slot + "]"); break;
      case Field::Kind::Boolean: body.append("s[" + slot + "]===1"); break;
      case Field::Kind::Value:
        params += ",a" + slot;
        body.append("a" + slot);
        break;
    }
  }
  napi_value numbers = scratch(env, state);
  napi_value outer = numbers == nullptr ? nullptr
                                        : run(env, "(function(s){return function(" + params + "){var o={" + body +
                                                       "};if(l!==undefined)l[s[" + std::to_string(kMostFields) +
                                                       "]]=o;return o;};})");
  napi_value undefined = nullptr, factory = nullptr;
  if (outer == nullptr || napi_get_undefined(env, &undefined) != napi_ok ||
      napi_call_function(env, undefined, outer, 1, &numbers, &factory) != napi_ok) {
    clear_exception(env);
    return nullptr;
  }
  return factory;
}

bool same_shape(const CompiledShape& shape, const Field* fields, size_t count) {
  if (shape.names.size() != count) return false;
  for (size_t i = 0; i < count; ++i)
    if (shape.names[i] != fields[i].name || shape.kinds[i] != fields[i].kind) return false;
  return true;
}

}  // namespace

ShapeMaker shape_maker(napi_env env, const Field* fields, size_t count) {
  EnvState* state = env_state(env);
  if (state == nullptr || count > kMostFields) return {};
  for (const CompiledShape& shape : state->shapes) {
    if (!same_shape(shape, fields, count)) continue;
    ShapeMaker maker;
    if (shape.factory == nullptr || napi_get_reference_value(env, shape.factory, &maker.factory) != napi_ok)
      return {};
    maker.numbers = state->numbers;
    return maker;
  }
  // Remembered even when it cannot be compiled, so that it is tried once.
  CompiledShape shape;
  for (size_t i = 0; i < count; ++i) {
    shape.names.push_back(fields[i].name);
    shape.kinds.push_back(fields[i].kind);
  }
  ShapeMaker maker{compile(env, *state, fields, count), state->numbers};
  if (maker.factory != nullptr && napi_create_reference(env, maker.factory, 1, &shape.factory) != napi_ok)
    maker = {};
  state->shapes.push_back(std::move(shape));
  return maker;
}

}  // namespace deskcap::js
