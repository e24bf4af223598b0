#include "addon/object_shapes.h"

#include <algorithm>
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

napi_value compile(napi_env env, const char* const* names, size_t count) {
  std::string params, body;
  for (size_t i = 0; i < count; ++i) {
    if (!plain_identifier(names[i])) return nullptr;
    const std::string arg = "a" + std::to_string(i);
    if (i != 0) params += ',', body += ',';
    params += arg;
    body.append(names[i]).append(":").append(arg);
  }
  std::string source = "(function(" + params + "){return {" + body + "};})";
  napi_value script = nullptr, factory = nullptr;
  if (napi_create_string_utf8(env, source.data(), source.size(), &script) != napi_ok ||
      napi_run_script(env, script, &factory) != napi_ok) {
    bool pending = false;
    napi_value ignored = nullptr;
    if (napi_is_exception_pending(env, &pending) == napi_ok && pending)
      napi_get_and_clear_last_exception(env, &ignored);
    return nullptr;
  }
  return factory;
}

}  // namespace

napi_value shape_factory(napi_env env, const char* const* names, size_t count) {
  EnvState* state = env_state(env);
  if (state == nullptr) return nullptr;
  for (const CompiledShape& shape : state->shapes) {
    if (shape.names.size() != count || !std::equal(shape.names.begin(), shape.names.end(), names))
      continue;
    napi_value factory = nullptr;
    if (shape.factory == nullptr || napi_get_reference_value(env, shape.factory, &factory) != napi_ok)
      return nullptr;
    return factory;
  }
  // Remembered even when it cannot be compiled, so that it is tried once.
  CompiledShape shape{std::vector<const char*>(names, names + count), nullptr};
  napi_value factory = compile(env, names, count);
  if (factory != nullptr && napi_create_reference(env, factory, 1, &shape.factory) != napi_ok)
    factory = nullptr;
  state->shapes.push_back(std::move(shape));
  return factory;
}

}  // namespace deskcap::js
