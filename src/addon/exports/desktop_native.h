// The native functions the desktop exports read: the real ones in the
// product, stand-ins that may answer a world's scripted text in the testing
// addon (each build links its own definition).
#pragma once

#include "desktop/desktop_steps.h"

namespace deskcap::js {

const DesktopNative& desktop_native();

}  // namespace deskcap::js
