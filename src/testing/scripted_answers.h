// Scripted documents of the C boundary (testing builds only): a world's
// desktop.rawAnswers and desktop.rawAnswerBytes stand in for a whole
// JSON-answering native function, so that documents the frameworks would never
// produce (broken JSON, text that is not UTF-8, embedded NULs) reach the
// addon side.
#pragma once

#include "desktop/desktop_steps.h"

namespace deskcap::testing {

// The desktop steps' native functions, each answering the world's scripted
// text when it has one (as a heap block, so allocation rules apply) and
// calling the real function otherwise.
const DesktopNative& scripted_desktop();
// How often a scripted answer was looked up, since the process started.
long scripted_answer_lookups();

}  // namespace deskcap::testing
