// The process-wide worker pool slot: filled by the first registration, emptied
// when the last registered environment is torn down.
#pragma once

#include <memory>

#include "core/pool.h"

namespace deskcap::js {

// Creates the pool if the slot is empty.
void ensure_runtime();
// Takes the pool out of the slot and shuts it down.
void shutdown_runtime();
// The pool for spawning; aborts when the slot is empty (no registered environment).
std::shared_ptr<WorkerPool> runtime();

}  // namespace deskcap::js
