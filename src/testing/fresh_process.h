// Testing builds only: forget what the native layer keeps for the life of the
// process (screen capture enabled, the listing summaries, the device watch and
// its known devices, the TCC handle, the phone log), so that the next world
// starts as a process that never touched a phone or a permission. Call only
// while no native function is running.
#pragma once

namespace deskcap::testing {

void forget_process_state();

}  // namespace deskcap::testing
