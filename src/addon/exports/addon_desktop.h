// The desktop table this addon answers from: the system's in the product,
// the scripted one (a world's text, else the system's) in the testing addon.
// Each build links its own definition.
#pragma once

#include "desktop/desktop_steps.h"

namespace deskcap::js {

const DesktopNative& addon_desktop();

}  // namespace deskcap::js
