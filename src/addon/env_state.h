// What the addon keeps per JavaScript environment, as its instance data: the
// channel its Promises settle through and the result shapes compiled there.
// JavaScript thread only; freed with the environment.
#pragma once

#include <node_api.h>

#include <memory>
#include <vector>

#include "addon/convert.h"

namespace deskcap {
class WorkerPool;
}

namespace deskcap::js {

struct Channel;

struct CompiledShape {
  std::vector<const char*> names;
  std::vector<Field::Kind> kinds;
  napi_ref factory = nullptr;  // null: the shape could not be compiled
};

struct EnvState {
  std::shared_ptr<Channel> channel;
  // The process's pool, as found when this environment first spawned: it
  // stays the same while any environment lives.
  std::shared_ptr<WorkerPool> pool;
  std::vector<CompiledShape> shapes;
  // The Float64Array the shapes read numbers from, and its store.
  napi_ref scratch = nullptr;
  double* numbers = nullptr;
};

// The environment's state, made on first use; nullptr when the host refuses it.
EnvState* env_state(napi_env env);

}  // namespace deskcap::js
