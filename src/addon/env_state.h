// What the addon keeps per JavaScript environment, as its instance data: the
// channel its Promises settle through and the worker pool it uses.
// JavaScript thread only; freed with the environment.
#pragma once

#include <node_api.h>

#include <memory>

namespace deskcap {
class WorkerPool;
}

namespace deskcap::js {

struct Channel;

struct EnvState {
  std::shared_ptr<Channel> channel;
  // The process's pool, as found when this environment first spawned: it
  // stays the same while any environment lives.
  std::shared_ptr<WorkerPool> pool;
};

// The environment's state, made on first use; nullptr when the host refuses it.
EnvState* env_state(napi_env env);

}  // namespace deskcap::js
