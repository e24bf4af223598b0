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

// The counters of the current world (docs/fake-world.md, "Probes").
nlohmann::json probe_counters();

}  // namespace deskcap::testing
