// The process-wide worker pool slot and the count of environments holding it.
// Both change under one lock: a registration either finds a live pool or
// creates one, and the last environment to go takes the pool out of the slot
// before anyone can find it there again.
#pragma once

#include <cstdint>
#include <memory>

#include "core/pool.h"

namespace deskcap::js {

// An environment registers: counts it, and creates the pool if the slot is
// empty. Answers how many environments held the pool before this one.
int64_t hold_runtime();
// An environment is torn down: the last one takes the pool out of the slot and
// shuts it down, so that a later registration creates a fresh one.
void release_runtime();
// The pool for spawning; aborts when the slot is empty (no registered environment).
std::shared_ptr<WorkerPool> runtime();

}  // namespace deskcap::js
