// What setWorld and probe do below the addon frame (testing builds only):
// installing a world as a fresh start, and the world's counters.
#pragma once

#include <nlohmann/json.hpp>

namespace deskcap::testing {

// Checks and installs `document` (fake::set_world), then forgets the process
// state the previous world left (fresh_process.h) and starts the counters
// afresh. Throws fake::WorldError and keeps the current world when refused.
// Call only while no native function is running.
void install_world(const nlohmann::json& document);

// Changes part of the current world (fake::checked_change, install_change) and reports the
// change as a Mac would, on the calling thread: displays through the
// reconfiguration callbacks (begin before the change, what changed after
// it), phones through the device notifications (those gone, then those
// new), audio processes through the property listeners (the process list,
// then each process whose input changed). Throws fake::WorldError and keeps
// the world when the result is refused.
void change_world(const nlohmann::json& patch);

// The counters of the current world (docs/fake-world.md, "Probes").
nlohmann::json probe_counters();

}  // namespace deskcap::testing
