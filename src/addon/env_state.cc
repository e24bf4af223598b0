#include "addon/env_state.h"

namespace deskcap::js {
namespace {

void free_state(napi_env, void* data, void*) { delete static_cast<EnvState*>(data); }

}  // namespace

EnvState* env_state(napi_env env) {
  void* data = nullptr;
  if (napi_get_instance_data(env, &data) == napi_ok && data != nullptr) return static_cast<EnvState*>(data);
  auto state = std::make_unique<EnvState>();
  if (napi_set_instance_data(env, state.get(), free_state, nullptr) != napi_ok) return nullptr;
  return state.release();
}

}  // namespace deskcap::js
